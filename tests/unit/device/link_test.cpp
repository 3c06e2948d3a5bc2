#include "device/link.h"

#include <gtest/gtest.h>

#include "support/fake_link_host.h"
#include "support/recording_usb.h"

namespace nyra {
namespace {

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
    EXPECT_EQ(host.greyed, std::vector<int>{kCmdChipFill});
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
        usb().failOpen = failing == 0;
        usb().failSetConfiguration = failing == 1;
        usb().failClaim = failing == 2;
        EXPECT_EQ(link.ensureLink(), kLinkStop) << failing;
        EXPECT_FALSE(link.connected());
        EXPECT_EQ(host.alerts, (std::vector<TextKey>{itext(34), itext(35)})) << failing;
        EXPECT_EQ(host.boxes, std::vector<TextKey>{itext(35)}) << failing;
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

TEST_F(LinkTest, FailedInterruptWriteIsReported) {
    ASSERT_TRUE(link.connect(false));
    usb().failInterruptWrite = true;
    const std::uint8_t frame[20] = {};
    EXPECT_FALSE(link.sendFrame(2, frame, 20, 100));
}

}  // namespace
}  // namespace nyra
