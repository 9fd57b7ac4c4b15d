#include "platform/jack_clients.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace tessivox::jackClients {

namespace {
std::atomic<int32_t> gLost{0};
std::atomic<int32_t> gHeld{0};
std::atomic<uint32_t> gGeneration{0};
std::atomic<int64_t> gLostAt{0};  // steady clock, nanoseconds
constexpr int64_t kSettleNs = 200'000'000;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::recursive_mutex& clientMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// libjack's own words (JackLibGlobals::Init) just before it frees its clients.
constexpr const char* kFreeingText = "clients are still allocated";

void onJackError(const char* text) {
    if (text != nullptr && std::strstr(text, kFreeingText) != nullptr) {
        gGeneration.fetch_add(1, std::memory_order_acq_rel);
    }
}

void onJackInfo(const char*) {}
}  // namespace

void markServerLost() {
    gLostAt.store(nowNs(), std::memory_order_release);
    gLost.store(1, std::memory_order_release);
}

bool lossSettled() {
    return nowNs() - gLostAt.load(std::memory_order_acquire) >= kSettleNs;
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

Lock lock() {
    return Lock(clientMutex());
}

Lock tryLock() {
    return Lock(clientMutex(), std::try_to_lock);
}

uint32_t generation() {
    return gGeneration.load(std::memory_order_acquire);
}

void quietMessages() {
    jack_set_error_function(onJackError);
    jack_set_info_function(onJackInfo);
}

}  // namespace tessivox::jackClients
