#include "platform/jack_clients.h"

#include <jack/jack.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tessivox::jackClients {

namespace {
std::atomic<int32_t> gLost{0};
std::atomic<int32_t> gHeld{0};
std::atomic<uint32_t> gGeneration{0};
std::atomic<int64_t> gLostAt{0};  // steady clock, nanoseconds
constexpr int64_t kSettleNs = 200'000'000;

// libjack crashes the process when its server dies while a client is being
// opened or activated on it (its threads keep a stale picture of the
// server's shared memory). A server that died soon after a client of ours
// came onto it may be one that dies again and again; until one has lived,
// clients are opened only on a server that has already run a while.
constexpr int64_t kShortLifeNs = 2'000'000'000;
constexpr int64_t kSteadyNs = 1'500'000'000;
std::atomic<int64_t> gOpenedAt{0};  // steady clock, nanoseconds
std::atomic<int32_t> gDistrust{0};

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

// The server's age is that of the socket libjack's server listens on; where
// that cannot be found (another server directory, another libjack) there is
// no wait.
bool serverTooYoung() {
    if (gDistrust.load(std::memory_order_acquire) == 0) return false;
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    char path[256];
    std::snprintf(path, sizeof path, "/dev/shm/jack_%s_%d_0",
                  name != nullptr && *name != '\0' ? name : "default", static_cast<int>(getuid()));
    struct stat socketFile {};
    timespec now{};
    if (stat(path, &socketFile) != 0 || clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    const int64_t ageNs = (now.tv_sec - socketFile.st_mtim.tv_sec) * 1'000'000'000LL +
                          (now.tv_nsec - socketFile.st_mtim.tv_nsec);
    return ageNs < kSteadyNs;
}

}  // namespace

void markServerLost() {
    gDistrust.store(nowNs() - gOpenedAt.load(std::memory_order_acquire) < kShortLifeNs ? 1 : 0,
                    std::memory_order_release);
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
    if (gLost.load(std::memory_order_acquire) != 0) {
        if (gHeld.load(std::memory_order_acquire) != 0) return false;
        gLost.store(0, std::memory_order_release);
    }
    return !serverTooYoung();
}

void held() {
    gOpenedAt.store(nowNs(), std::memory_order_release);
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
    jack_set_info_function([](const char*) {});
}

}  // namespace tessivox::jackClients
