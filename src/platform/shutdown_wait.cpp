#include "platform/shutdown_wait.h"

#include <thread>

namespace tessivox {

bool waitWhilePumping(const std::function<bool()>& done,
                      std::chrono::steady_clock::time_point deadline,
                      const std::function<void()>& pumpWindowEvents) {
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (pumpWindowEvents) {
            pumpWindowEvents();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return done();
}

}  // namespace tessivox
