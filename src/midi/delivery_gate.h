#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace tessivox {

// Lets the UI thread stop a port's deliveries and be sure that none is still
// acting on the state when it goes on. For one delivering thread (the MIDI
// library's); enter() and leave() are real-time safe, shut() spins for at
// most the rest of one delivery.
class DeliveryGate {
  public:
    // Delivering thread, around every delivery: true when it may act.
    bool enter() {
        busy_.store(1, std::memory_order_seq_cst);
        // Paired with shut(): either it sees this delivery busy and waits for
        // it, or this delivery sees the gate shut.
        return open_.load(std::memory_order_seq_cst) == 1;
    }
    void leave() { busy_.store(0, std::memory_order_release); }

    // UI thread.
    void open() { open_.store(1, std::memory_order_seq_cst); }
    void shut() {
        open_.store(0, std::memory_order_seq_cst);
        while (busy_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }

  private:
    std::atomic<int32_t> open_{0};
    std::atomic<int32_t> busy_{0};
};

}  // namespace tessivox
