#include "platform/jack_clients.h"

#include <atomic>
#include <cstdint>

namespace tessivox::jackClients {

namespace {
std::atomic<int32_t> gLost{0};
std::atomic<int32_t> gHeld{0};
}  // namespace

void markServerLost() {
    gLost.store(1, std::memory_order_release);
}

bool serverLost() {
    return gLost.load(std::memory_order_acquire) != 0;
}

bool mayOpen() {
    if (gLost.load(std::memory_order_acquire) == 0) return true;
    if (gHeld.load(std::memory_order_acquire) != 0) return false;
    gLost.store(0, std::memory_order_release);
    return true;
}

void held() {
    gHeld.fetch_add(1, std::memory_order_acq_rel);
}

void released() {
    gHeld.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace tessivox::jackClients
