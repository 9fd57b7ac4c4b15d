#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace tessivox {

// A switch that one thread turns off while another runs short sections that
// act only while it is on. Once shut() returns, no section that saw the
// switch on is still running. The section's mark and the switch are both
// sequentially consistent: either shut() sees the section busy and waits for
// it, or the section sees the switch off. enter() and leave() are real-time
// safe; shut() spins for at most the rest of one section.
class Handshake {
  public:
    Handshake(std::atomic<int32_t>& on, std::atomic<int32_t>& busy) : on_(on), busy_(busy) {}

    // The section's thread, around every section: true when it may act.
    bool enter() const {
        busy_.store(1, std::memory_order_seq_cst);
        return on_.load(std::memory_order_seq_cst) == 1;
    }
    void leave() const { busy_.store(0, std::memory_order_release); }

    void shut() const {
        on_.store(0, std::memory_order_seq_cst);
        while (busy_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }

  private:
    std::atomic<int32_t>& on_;
    std::atomic<int32_t>& busy_;
};

}  // namespace tessivox
