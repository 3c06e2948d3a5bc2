// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/call_hold.h"
#include "support/fake_link_host.h"
#include "support/recording_usb.h"

namespace nyra {
namespace {

using testing::CallHold;
using testing::FakeLinkHost;
using testing::RecordingUsb;

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { usb().reset(); }
    static RecordingUsb& usb() { return RecordingUsb::instance(); }
    std::vector<std::string> callNames() {
        std::vector<std::string> names;
        for (const auto& c : usb().calls)
            names.push_back(c.name);
        return names;
    }

    // The worker's side: one read with a long time-out.
    std::thread readOnAnotherThread() {
        return std::thread([this] {
            std::uint8_t reply[8];
            link.readReply(reply, 8, 5000);
        });
    }

    UsbApi api = RecordingUsb::api();
    FakeLinkHost host;
    Link link{api, host};
};

TEST_F(LinkTest, ConnectOpensClaimsAndDrainsWithHundredMilliseconds) {
    ASSERT_TRUE(link.connect(true));
    EXPECT_TRUE(link.connected());
    const auto configs = usb().callsNamed("set_configuration");
    ASSERT_EQ(configs.size(), 1u);
    EXPECT_EQ(configs[0].endpoint, 1);  // configuration value
    const auto drains = usb().callsNamed("bulk_read");
    ASSERT_EQ(drains.size(), 1u);
    EXPECT_EQ(drains[0].endpoint, 0x83);
    EXPECT_EQ(drains[0].timeout, 100);
    EXPECT_EQ(drains[0].size, 64);
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(LinkTest, EveryEnsureLinkClosesAndReopensEvenWhenUp) {
    ASSERT_TRUE(link.connect(false));
    usb().calls.clear();
    EXPECT_EQ(link.ensureLink(), kLinkGoOn);
    const std::vector<std::string> expected = {
        "init", "release_interface", "close",           "init",
        "open", "set_configuration", "claim_interface", "bulk_read"};
    EXPECT_EQ(callNames(), expected);
    EXPECT_EQ(usb().openHandles, 1);
}

TEST_F(LinkTest, StaleReplyIsDiscardedByTheDrain) {
    usb().inQueue = {0x02, 0x06, 0x10};
    EXPECT_EQ(link.linkCheck(), kLinkGoOn);
    EXPECT_TRUE(usb().inQueue.empty());
}

TEST_F(LinkTest, ResetIdentityForgetsTheHandleAndReleaseAndCloseSucceeds) {
    ASSERT_TRUE(link.connect(false));
    ASSERT_NE(link.handle(), nullptr);
    link.resetIdentity();
    EXPECT_EQ(link.handle(), nullptr);
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.identity().vendorId, 0x0716);
    EXPECT_EQ(link.identity().productId, 0x5018);
    EXPECT_EQ(link.identity().interfaceNumber, 0);
    EXPECT_EQ(link.identity().dataEndpoint, 1);

    ASSERT_TRUE(link.connect(false));
    EXPECT_TRUE(link.releaseAndClose(link.handle(), 0));
    EXPECT_FALSE(link.connected());
    EXPECT_TRUE(link.releaseAndClose(nullptr, 0)) << "its result is always true";
}

TEST_F(LinkTest, FirstOfTwoProgrammersIsOpened) {
    usb().devicesPresent = 2;
    ASSERT_TRUE(link.connect(false));
    const auto opens = usb().callsNamed("open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].endpoint, 0);  // device index in bus order
}

TEST_F(LinkTest, MissingProgrammerIsReportedAndStops) {
    usb().devicesPresent = 0;
    EXPECT_FALSE(link.connect(true));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], itext(34));

    host.boxes.clear();
    EXPECT_EQ(link.ensureLink(), kLinkStop);
    EXPECT_EQ(host.alerts, std::vector<TextKey>{itext(34)});
    EXPECT_EQ(host.boxes, std::vector<TextKey>{itext(34)});
    EXPECT_EQ(host.greyed, std::vector<int>{kLinkFailureGreyedCommand});
    EXPECT_TRUE(usb().callsNamed("open").empty());

    // The link check reports on the status line only.
    host.alerts.clear();
    host.boxes.clear();
    EXPECT_EQ(link.linkCheck(), kLinkStop);
    EXPECT_EQ(host.alerts, std::vector<TextKey>{itext(34)});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(link.connect(false));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(LinkTest, OpenOrClaimFailureReportsBothTexts) {
    for (int failing = 0; failing < 3; ++failing) {
        usb().reset();
        host.alerts.clear();
        host.boxes.clear();
        host.greyed.clear();
        usb().failOpen = failing == 0;
        usb().failSetConfiguration = failing == 1;
        usb().failClaim = failing == 2;
        EXPECT_EQ(link.ensureLink(), kLinkStop) << failing;
        EXPECT_FALSE(link.connected());
        EXPECT_EQ(host.alerts, (std::vector<TextKey>{itext(34), itext(35)})) << failing;
        EXPECT_EQ(host.boxes, std::vector<TextKey>{itext(35)}) << failing;
        EXPECT_EQ(host.greyed, std::vector<int>{kLinkFailureGreyedCommand}) << failing;
        EXPECT_EQ(usb().openHandles, 0) << "a failed claim must close the handle";
        EXPECT_EQ(link.handle(), nullptr);
    }
}

TEST_F(LinkTest, BlockedProgrammerFailsClaimSilently) {
    host.blocked = true;
    usb().failClaim = true;
    EXPECT_EQ(link.linkCheck(), kLinkStop);
    EXPECT_EQ(host.alerts, std::vector<TextKey>{itext(35)});
}

TEST_F(LinkTest, FailedReopenOfALiveLinkGoesOnUnlessADeviceChangeIsPending) {
    ASSERT_TRUE(link.connect(false));
    usb().failClaim = true;
    EXPECT_EQ(link.ensureLink(), kLinkGoOn);
    EXPECT_TRUE(host.boxes.empty());

    ASSERT_TRUE((usb().failClaim = false, link.connect(false)));
    usb().failClaim = true;
    host.deviceChange = true;
    EXPECT_EQ(link.ensureLink(), kLinkStop);
    EXPECT_EQ(host.boxes, std::vector<TextKey>{itext(35)});
}

TEST_F(LinkTest, ZeroTimeoutMeansFiveHundredMilliseconds) {
    ASSERT_TRUE(link.connect(false));
    const std::uint8_t frame[20] = {0xA5};
    std::uint8_t reply[8];
    EXPECT_TRUE(link.sendFrame(2, frame, 20, 0));
    link.readReply(reply, 8, 0);
    link.writeStreamChunk(frame, 20, 0);
    link.sendFrame(2, frame, 20, 100);

    EXPECT_EQ(usb().callsNamed("interrupt_write")[0].timeout, 500);
    EXPECT_EQ(usb().callsNamed("interrupt_write")[1].timeout, 100);
    EXPECT_EQ(usb().callsNamed("bulk_read").back().timeout, 500);
    EXPECT_EQ(usb().callsNamed("bulk_write")[0].timeout, 500);
    EXPECT_EQ(usb().callsNamed("bulk_write")[0].endpoint, 1);
}

TEST_F(LinkTest, TransfersWithoutHandleFailWithoutCallingTheLibrary) {
    std::uint8_t buffer[4] = {};
    EXPECT_FALSE(link.sendFrame(2, buffer, 4, 100));
    EXPECT_LT(link.readReply(buffer, 4, 100), 0);
    EXPECT_LT(link.writeStreamChunk(buffer, 4, 100), 0);
    EXPECT_TRUE(usb().calls.empty());
}

TEST_F(LinkTest, SendFrameAcceptsEveryResultFromZeroUp) {
    ASSERT_TRUE(link.connect(false));
    const std::uint8_t frame[20] = {};
    usb().failInterruptWrite = true;
    EXPECT_FALSE(link.sendFrame(2, frame, 20, 100));
    usb().interruptWriteResult = 0;
    EXPECT_TRUE(link.sendFrame(2, frame, 20, 100));
    usb().interruptWriteResult = -1;
    EXPECT_FALSE(link.sendFrame(2, frame, 20, 100));
}

TEST_F(LinkTest, ConnectReleasesAndClosesTheHandleItHad) {
    ASSERT_TRUE(link.connect(false));
    usb().calls.clear();
    ASSERT_TRUE(link.connect(false));
    std::vector<std::string> beforeOpen;
    for (const auto& c : usb().calls) {
        if (c.name == "open")
            break;
        if (c.name != "init")
            beforeOpen.push_back(c.name);
    }
    EXPECT_EQ(beforeOpen, (std::vector<std::string>{"release_interface", "close"}));
    EXPECT_EQ(usb().openHandles, 1);
}

TEST_F(LinkTest, OnlyTheProgrammersVendorAndProductCount) {
    usb().strangerPresent = true;
    usb().devicesPresent = 0;
    EXPECT_FALSE(link.devicePresent());
    EXPECT_FALSE(link.connect(false));
    EXPECT_EQ(link.ensureLink(), kLinkStop);
    EXPECT_TRUE(usb().callsNamed("open").empty());

    usb().devicesPresent = 1;
    EXPECT_TRUE(link.devicePresent());
    ASSERT_TRUE(link.connect(false));
    const auto opens = usb().callsNamed("open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].endpoint, 0) << "the stranger ahead of it on the bus was opened";
}

// The worker transfers while the window thread closes or sends: no two calls
// may be inside the library at once, or a handle is closed under a transfer.
TEST_F(LinkTest, TransfersFromTwoThreadsNeverOverlapInTheLibrary) {
    ASSERT_TRUE(link.connect(false));
    usb().setOnCall([](const testing::UsbCall&) { std::this_thread::yield(); });
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::uint8_t reply[64];
        while (!stop.load()) {
            link.readReply(reply, 64, 10);
            link.linkCheck();
        }
    });
    const std::uint8_t frame[20] = {0xA5};
    for (int i = 0; i < 300; ++i) {
        link.sendFrame(2, frame, 20, 100);
        link.releaseAndCloseWithin(std::chrono::milliseconds(1000));
        link.connect(false);
    }
    stop = true;
    worker.join();
    usb().setOnCall(nullptr);
    EXPECT_EQ(usb().overlaps.load(), 0);
    EXPECT_EQ(usb().inFlight.load(), 0);
}

TEST_F(LinkTest, CloseWaitsForTheTransferInProgress) {
    ASSERT_TRUE(link.connect(false));
    CallHold hold(CallHold::named("bulk_read"));
    std::thread worker = readOnAnotherThread();
    hold.waitUntilInside();
    std::atomic<bool> closed{false};
    std::thread window([&] { closed = link.releaseAndCloseWithin(std::chrono::seconds(30)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(usb().callsNamed("close").empty()) << "closed under a running read";
    hold.releaseCall();
    worker.join();
    window.join();
    EXPECT_TRUE(closed.load());
    EXPECT_EQ(usb().callsNamed("close").size(), 1u);
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.handle(), nullptr);
}

TEST_F(LinkTest, CloseGivesUpAfterItsBoundAndLeavesTheLinkAlone) {
    ASSERT_TRUE(link.connect(false));
    CallHold hold(CallHold::named("bulk_read"));
    std::thread worker = readOnAnotherThread();
    hold.waitUntilInside();
    EXPECT_FALSE(link.releaseAndCloseWithin(std::chrono::milliseconds(20)));
    {
        auto busy = link.holdWithin(std::chrono::milliseconds(20));
        EXPECT_FALSE(busy);
    }
    hold.releaseCall();
    worker.join();
    EXPECT_TRUE(usb().callsNamed("close").empty());
    EXPECT_TRUE(link.connected());
    // Once the transfer is over, the link is free again for the window.
    EXPECT_TRUE(link.releaseAndCloseWithin(std::chrono::milliseconds(20)));
    EXPECT_FALSE(link.connected());
}

TEST_F(LinkTest, AWaitingWindowCommandIsServedBeforeTheWorkersNextRead) {
    ASSERT_TRUE(link.connect(false));
    usb().calls.clear();
    CallHold hold(CallHold::named("bulk_read"));
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::uint8_t reply[8];
        while (!stop.load())
            link.readReply(reply, 8, 1000);
    });
    hold.waitUntilInside();
    std::thread window([&] {
        const std::uint8_t frame[20] = {0xA5};
        link.sendFrame(2, frame, 20, 100);
        stop = true;
    });
    // Let the window thread queue up behind the held read.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    hold.releaseCall();
    window.join();
    worker.join();
    // Served in arrival order: the write comes right after the held read.
    std::vector<std::string> names;
    for (const auto& call : usb().calls)
        names.push_back(call.name);
    const auto held = std::find(names.begin(), names.end(), "bulk_read");
    ASSERT_NE(held, names.end());
    ASSERT_NE(held + 1, names.end());
    EXPECT_EQ(*(held + 1), "interrupt_write");
}

}  // namespace
}  // namespace nyra
