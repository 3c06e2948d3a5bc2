// SPDX-License-Identifier: GPL-3.0-or-later
// The link and the worker against the in-process programmer simulator.
#include <gtest/gtest.h>

#include "device/worker.h"
#include "sim/usb_binding.h"
#include "support/fake_link_host.h"

namespace nyra {
namespace {

using sim::Simulator;
using sim::SimulatorOptions;
using sim::UsbCall;

class LinkSimTest : public ::testing::Test {
protected:
    SimulatorOptions options(int programmers) {
        SimulatorOptions o;
        o.programmers = programmers;
        o.chip = sim::builtinChip("W25Q64FV");
        o.time = &clock;
        return o;
    }
    void SetUp() override {
        block[0] = kFrameStart;
        block[19] = kFrameEnd;
    }

    sim::VirtualTimeSource clock{0};
    Simulator simulator{options(2)};
    sim::usb::ScopedBinding binding{simulator};
    UsbApi api = sim::usb::api();
    testing::FakeLinkHost host;
    Link link{api, host};
    CommandFrame block{};
    CommandChannel channel{link, block};
};

TEST_F(LinkSimTest, FirstProgrammerInBusOrderIsOpened) {
    simulator.setSerial(0, 0x000111);
    simulator.setSerial(1, 0x000222);
    ASSERT_TRUE(link.connect(false));
    std::uint8_t reply[7] = {};
    ASSERT_TRUE(channel.sendCommand(cmd::kSerialNumber, 100));
    ASSERT_EQ(link.readReply(reply, 7, 100), 7);
    EXPECT_EQ(reply[5], 0x01);
    EXPECT_EQ(reply[6], 0x11);
    EXPECT_EQ(simulator.frames(1).size(), 0u);

    // With the first one gone, the second is found.
    simulator.unplug(0);
    EXPECT_EQ(link.ensureLink(), kLinkGoOn);
    ASSERT_TRUE(channel.sendCommand(cmd::kSerialNumber, 100));
    ASSERT_EQ(link.readReply(reply, 7, 100), 7);
    EXPECT_EQ(reply[6], 0x22);
}

TEST_F(LinkSimTest, StaleReplyIsDrainedAtEachClaim) {
    ASSERT_TRUE(link.connect(false));
    simulator.injectIn(0, {0x02, 0x06, 0x06});
    EXPECT_EQ(link.linkCheck(), kLinkGoOn);
    EXPECT_EQ(simulator.queuedInBytes(0), 0u);
    // The firmware version now answers cleanly instead of the stale byte.
    std::uint8_t reply[1] = {};
    ASSERT_TRUE(channel.sendCommand(cmd::kFirmwareVersion, 100));
    ASSERT_EQ(link.readReply(reply, 1, 100), 1);
    EXPECT_EQ(reply[0], simulator.status(0).firmwareVersion);
}

TEST_F(LinkSimTest, ClaimDrainTakesOneStaleReplyAndLeavesTheNext) {
    ASSERT_TRUE(link.connect(false));
    // Two replies nobody read, e.g. a late erase byte and a late write byte.
    simulator.injectIn(0, {0x06});
    simulator.injectIn(0, {0x02, 0x02});
    simulator.clearTransferLog();
    EXPECT_EQ(link.linkCheck(), kLinkGoOn);
    std::vector<sim::TransferRecord> drains;
    for (const auto& record : simulator.transferLog(0)) {
        if (record.call == UsbCall::BulkRead)
            drains.push_back(record);
    }
    ASSERT_EQ(drains.size(), 1u);
    EXPECT_EQ(drains[0].size, 64);
    EXPECT_EQ(drains[0].data, std::vector<std::uint8_t>{0x06});
    // The drain's single 64-byte read got the first reply only: the device
    // never joins two replies in one transfer, and the claim itself keeps them.
    EXPECT_EQ(simulator.queuedInBytes(0), 2u);
    std::uint8_t reply[64] = {};
    ASSERT_EQ(link.readReply(reply, 64, 100), 2);
    EXPECT_EQ(reply[0], 0x02);
    EXPECT_EQ(reply[1], 0x02);
    EXPECT_LT(link.readReply(reply, 64, 100), 0);
}

TEST_F(LinkSimTest, ZeroTimeoutReachesTheDeviceAsFiveHundredMilliseconds) {
    ASSERT_TRUE(link.connect(false));
    simulator.clearTransferLog();
    std::uint8_t reply[4];
    const std::int64_t before = clock.nowMs();
    EXPECT_LT(link.readReply(reply, 4, 0), 0);  // nothing queued: time-out
    EXPECT_EQ(clock.nowMs() - before, 500);
    const auto log = simulator.transferLog(0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().call, UsbCall::BulkRead);
    EXPECT_EQ(log.back().timeout, 500);
}

TEST_F(LinkSimTest, WorkerFramesEveryJobWithTwoReconnectsAndCommandNine) {
    WorkerShared shared;
    Worker worker(shared, channel);
    shared.jobCode = 0;
    simulator.clearFrames(0);
    worker.start();
    worker.waitUntilIdle();
    const auto frames = simulator.frames(0);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0][1] & 0x3F, 34);
    EXPECT_EQ(frames[0][13], 1);
    EXPECT_EQ(frames[1][13], 2);
    EXPECT_EQ(frames[2][1] & 0x3F, 9);
    EXPECT_EQ(simulator.status(0).lastState, 2);
    int opens = 0;
    for (const auto& record : simulator.transferLog(0))
        opens += record.call == UsbCall::Open;
    EXPECT_EQ(opens, 2);

    // Unplugged between jobs: the job still runs, nothing is sent.
    simulator.unplug(0);
    simulator.unplug(1);
    int runs = 0;
    worker.registerJob(job::kRead, [&] {
        ++runs;
        return std::uint8_t{0};
    });
    worker.startJob(job::kRead);
    worker.waitUntilIdle();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(simulator.frames(0).size(), 3u);
    worker.requestQuit();
    worker.join();
}

TEST_F(LinkSimTest, CommandRefusedByTheDeviceIsAFailedSend) {
    ASSERT_TRUE(link.connect(false));
    ASSERT_TRUE(simulator.setFault(0, "refuse", "9:2"));
    EXPECT_FALSE(channel.sendCommand(cmd::kEndOfOperation, 1000));
    EXPECT_FALSE(channel.sendCommand(cmd::kEndOfOperation, 1000));
    EXPECT_TRUE(channel.sendCommand(cmd::kEndOfOperation, 1000));
}

}  // namespace
}  // namespace nyra
