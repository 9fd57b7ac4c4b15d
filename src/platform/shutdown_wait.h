#pragma once

#include <chrono>
#include <functional>

namespace tessivox {

// How long the program's end waits for a library call that may hang (a JACK
// server that is itself shutting down answers a client's close only after
// five seconds); past it the process ends without its static destructors.
inline constexpr std::chrono::milliseconds kShutdownLimit{400};

// Waits until `done` says so or `deadline` has passed, calling
// `pumpWindowEvents` (which lets the window system work for at most 1 ms)
// meanwhile, or sleeping 1 ms when there is none. Returns done().
bool waitWhilePumping(const std::function<bool()>& done,
                      std::chrono::steady_clock::time_point deadline,
                      const std::function<void()>& pumpWindowEvents);

}  // namespace tessivox
