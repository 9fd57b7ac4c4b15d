#include "midi/delivery_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tessivox {
namespace {

TEST(DeliveryGate, DeliveriesActOnlyWhileOpen) {
    DeliveryGate gate;
    EXPECT_FALSE(gate.enter());  // a port not yet started
    gate.leave();
    gate.open();
    EXPECT_TRUE(gate.enter());
    gate.leave();
    gate.shut();
    EXPECT_FALSE(gate.enter());
    gate.leave();
}

// The port-change promise: once shut() returns, a delivery that was already
// acting has finished, so the port-closed rule comes after its last write.
TEST(DeliveryGate, ShutWaitsForADeliveryUnderWay) {
    DeliveryGate gate;
    gate.open();
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    std::thread delivery([&] {
        ASSERT_TRUE(gate.enter());
        inside.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished.store(true);
        gate.leave();
    });
    while (!inside.load()) std::this_thread::yield();
    gate.shut();
    EXPECT_TRUE(finished.load());
    delivery.join();
}

}  // namespace
}  // namespace tessivox
