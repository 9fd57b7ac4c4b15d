#pragma once

#include <atomic>
#include <cstdint>

#include "engine/handshake.h"

namespace tessivox {

// Lets the controlling thread stop a port's deliveries and be sure that none is still
// acting on the state when it goes on. For one delivering thread (the MIDI
// library's), which wraps every delivery in enter() and leave().
class DeliveryGate {
  public:
    bool enter() { return handshake_.enter(); }
    void leave() { handshake_.leave(); }

    // The controlling thread.
    void open() { open_.store(1, std::memory_order_seq_cst); }
    void shut() { handshake_.shut(); }

  private:
    std::atomic<int32_t> open_{0};
    std::atomic<int32_t> busy_{0};
    Handshake handshake_{open_, busy_};
};

}  // namespace tessivox
