// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/transfer_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace nyra {
namespace {

using namespace std::chrono_literals;

TEST(TransferGate, TheOwnerMayEnterAgainOthersWaitUntilItLeavesEntirely) {
    TransferGate gate;
    ASSERT_TRUE(gate.acquire());
    ASSERT_TRUE(gate.acquire(0ms)) << "nested use by the owner";
    gate.release();
    std::atomic<bool> other{true};
    std::thread([&] { other = gate.acquire(10ms); }).join();
    EXPECT_FALSE(other.load()) << "still held once";
    gate.release();
    std::thread([&] {
        other = gate.acquire(10ms);
        if (other)
            gate.release();
    }).join();
    EXPECT_TRUE(other.load());
}

TEST(TransferGate, WaitersAreServedInArrivalOrder) {
    TransferGate gate;
    ASSERT_TRUE(gate.acquire());
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&, i] {
            gate.acquire();
            {
                std::lock_guard lock(orderMutex);
                order.push_back(i);
            }
            gate.release();
        });
        // Each waiter queues before the next one starts.
        std::this_thread::sleep_for(20ms);
    }
    gate.release();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(TransferGate, AWaiterThatGivesUpLeavesTheQueueForThoseBehindIt) {
    TransferGate gate;
    ASSERT_TRUE(gate.acquire());
    std::atomic<bool> patientGotIt{false};
    std::thread impatient([&] { EXPECT_FALSE(gate.acquire(30ms)); });
    std::this_thread::sleep_for(5ms);
    std::thread patient([&] {
        patientGotIt = gate.acquire();
        gate.release();
    });
    impatient.join();
    gate.release();
    patient.join();
    EXPECT_TRUE(patientGotIt.load());
    EXPECT_TRUE(gate.acquire(0ms)) << "free again";
    gate.release();
}

}  // namespace
}  // namespace nyra
