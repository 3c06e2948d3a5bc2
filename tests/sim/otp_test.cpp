// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/config.h"
#include "sim/firmware.h"
#include "sim/otp.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::Link;

constexpr int kTimeoutMs = 500;

std::array<std::uint8_t, 16> otpShort(std::uint8_t op, std::initializer_list<std::uint8_t> args) {
    std::array<std::uint8_t, 16> f{};
    f[0] = 0xA5;
    f[1] = 0x01;
    f[2] = op;
    std::size_t i = 3;
    for (const std::uint8_t b : args)
        f[i++] = b;
    f[15] = 0x5A;
    return f;
}

std::array<std::uint8_t, 45> otpWriteFrame(std::uint16_t address,
                                           const std::vector<std::uint8_t>& data) {
    std::array<std::uint8_t, 45> f{};
    f[0] = 0xA5;
    f[1] = 0x02;
    f[2] = otp::kWrite;
    f[3] = static_cast<std::uint8_t>(address);
    f[4] = static_cast<std::uint8_t>(address >> 8);
    f[5] = static_cast<std::uint8_t>(data.size());
    f[6] = static_cast<std::uint8_t>(data.size() >> 8);
    std::copy(data.begin(), data.end(), f.begin() + 7);
    f[44] = 0x5A;
    return f;
}

class Otp : public ::testing::Test {
protected:
    void start(const char* chip) {
        SimulatorOptions o;
        o.time = &time;
        sim = std::make_unique<Simulator>(o);
        insert(chip);
        usb::bind(sim.get());
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    void insert(const char* chip) {
        std::string error;
        const auto model = parseChipDescription(chip, &error);
        ASSERT_TRUE(model) << error;
        ASSERT_TRUE(sim->swapChip(0, *model, {}, &error)) << error;
    }
    void TearDown() override {
        link.reset();
        usb::bind(nullptr);
    }
    void fault(const char* name, const char* value) {
        std::string error;
        ASSERT_TRUE(sim->setFault(0, name, value, &error)) << error;
    }
    template <std::size_t N>
    int send(const std::array<std::uint8_t, N>& f) {
        return usb::interrupt_write(link->handle(), 2, reinterpret_cast<const char*>(f.data()),
                                    static_cast<int>(N), kTimeoutMs);
    }
    // The reply, or empty when none came before the time-out.
    std::vector<std::uint8_t> reply() { return link->read(64, kTimeoutMs); }
    int sendParameters(int group) {
        const OtpGroupRecord& r = otpGroupRecord(group);
        return send(
            otpShort(otp::kParameters, {r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]}));
    }
    // Parameters of the chip's group and a begun access.
    void open(int group) {
        ASSERT_EQ(sendParameters(group), 16);
        ASSERT_EQ(send(otpShort(otp::kBegin, {})), 16);
        const auto r = reply();
        ASSERT_EQ(r.size(), 45u);
        ASSERT_EQ(r[2], otp::kReplyDone);
    }
    // Data of an operation 2, or empty when unanswered.
    std::vector<std::uint8_t> read(std::uint16_t address, std::uint16_t length) {
        send(otpShort(otp::kRead,
                      {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                       static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)}));
        const auto r = reply();
        if (r.size() != 45 || r[2] != otp::kReplyData)
            return {};
        return {r.begin() + 3, r.begin() + 3 + length};
    }
    int write(std::uint16_t address, const std::vector<std::uint8_t>& data) {
        return send(otpWriteFrame(address, data));
    }
    std::vector<std::uint8_t> status() {
        send(otpShort(otp::kStatus, {}));
        return reply();
    }

    VirtualTimeSource time;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Link> link;
};

constexpr const char* kWinbond = "W25Q64FV";  // group 3, 768 bytes
constexpr const char* kGroup4 = "spi-flash:size=2097152,id=BF254B";
constexpr const char* kProtected512 = "spi-flash:size=2097152,id=010215";
constexpr const char* kProtected1024 = "spi-flash:size=2097152,id=012018";

// Layout -------------------------------------------------------------------

TEST_F(Otp, RepliesAreFortyFiveBytesWithMarkersStatusAndData) {
    start(kWinbond);
    open(3);
    std::vector<std::uint8_t> preset(768);
    for (std::size_t i = 0; i < preset.size(); ++i)
        preset[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(sim->loadOtpContents(0, preset));
    send(otpShort(otp::kRead, {0x10, 0x00, 0x20, 0x00}));
    const auto r = reply();
    ASSERT_EQ(r.size(), 45u);
    EXPECT_EQ(r[0], 0xA5);
    EXPECT_EQ(r[1], 0x03);
    EXPECT_EQ(r[2], otp::kReplyData);
    EXPECT_EQ(std::vector<std::uint8_t>(r.begin() + 3, r.begin() + 35),
              std::vector<std::uint8_t>(preset.begin() + 0x10, preset.begin() + 0x30));
    EXPECT_EQ(r[44], 0x5A);
    const auto s = status();
    ASSERT_EQ(s.size(), 45u);
    EXPECT_EQ(s[1], 0x03);
    EXPECT_EQ(s[2], otp::kReplyStatus);
    EXPECT_EQ(s[3], 0);  // not locked
    EXPECT_EQ(s[44], 0x5A);
}

TEST_F(Otp, AddressesAndLengthsAreLeastSignificantByteFirst) {
    start(kWinbond);
    open(3);
    std::vector<std::uint8_t> preset(768);
    for (std::size_t i = 0; i < preset.size(); ++i)
        preset[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    sim->loadOtpContents(0, preset);
    // 0x0102, 3 bytes: read as 0x0201 it would be outside the 768-byte area.
    EXPECT_EQ(read(0x0102, 3),
              (std::vector<std::uint8_t>{preset[0x102], preset[0x103], preset[0x104]}));
    EXPECT_EQ(write(0x0201, {0x12, 0x34}), 45);
    const auto otpBytes = sim->otpContents(0);
    EXPECT_EQ(otpBytes[0x201], preset[0x201] & 0x12);
    EXPECT_EQ(otpBytes[0x202], preset[0x202] & 0x34);
    EXPECT_EQ(otpBytes[0x203], preset[0x203]);  // the length bounds the write
}

// Parameters and bracketing -------------------------------------------------

TEST_F(Otp, ParametersOfAnotherGroupAreRefusedAndLeaveTheAreaClosed) {
    start(kWinbond);
    const std::int64_t before = time.nowMs();
    EXPECT_EQ(sendParameters(1), kErrTimeout);  // same bytes but the group number
    EXPECT_GE(time.nowMs() - before, kTimeoutMs);
    EXPECT_EQ(send(otpShort(otp::kBegin, {})), 16);
    EXPECT_EQ(reply().size(), 45u);
    EXPECT_TRUE(status().empty());
    EXPECT_EQ(write(0, {0x00}), kErrTimeout);
    EXPECT_EQ(sendParameters(3), 16);
    EXPECT_EQ(status().size(), 45u);
}

TEST_F(Otp, WithoutAChipOrAnAreaParametersAreRefusedAndTheRestUnanswered) {
    start(kWinbond);
    ASSERT_TRUE(sim->removeChip(0));
    EXPECT_EQ(sendParameters(3), kErrTimeout);
    EXPECT_EQ(send(otpShort(otp::kBegin, {})), 16);
    EXPECT_TRUE(reply().empty());
    insert("W25X40");  // EF3013: no area
    EXPECT_TRUE(sim->otpContents(0).empty());
    EXPECT_EQ(sendParameters(3), kErrTimeout);
    EXPECT_EQ(send(otpShort(otp::kBegin, {})), 16);
    EXPECT_TRUE(reply().empty());
}

TEST_F(Otp, ParametersCountOnlyForTheChipThatTookThem) {
    start(kWinbond);
    open(3);
    EXPECT_EQ(status().size(), 45u);
    insert(kWinbond);
    EXPECT_TRUE(status().empty());
    EXPECT_EQ(write(0, {0x00}), kErrTimeout);
    EXPECT_EQ(sendParameters(3), 16);
    EXPECT_EQ(status().size(), 45u);
}

TEST_F(Otp, OperationsNeedABegunAccessAndEndItEnds) {
    start(kWinbond);
    ASSERT_EQ(sendParameters(3), 16);
    EXPECT_TRUE(status().empty());
    EXPECT_TRUE(read(0, 4).empty());
    EXPECT_EQ(write(0, {0x00}), kErrTimeout);
    EXPECT_EQ(send(otpShort(otp::kLock, {})), 16);
    EXPECT_TRUE(reply().empty());
    EXPECT_FALSE(sim->otpLocked(0));
    ASSERT_EQ(send(otpShort(otp::kBegin, {})), 16);
    EXPECT_EQ(reply()[2], otp::kReplyDone);
    EXPECT_EQ(read(0, 4), std::vector<std::uint8_t>(4, 0xFF));
    ASSERT_EQ(send(otpShort(otp::kEnd, {})), 16);
    EXPECT_EQ(reply()[2], otp::kReplyDone);
    EXPECT_TRUE(read(0, 4).empty());
    EXPECT_EQ(write(0, {0x00}), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0)[0], 0xFF);
}

// Reading and writing ---------------------------------------------------------

TEST_F(Otp, ReadsOutsideTheAreaOrLongerThan32AreUnanswered) {
    start(kGroup4);  // addresses 8..31
    open(4);
    EXPECT_EQ(sim->otpContents(0).size(), 24u);
    EXPECT_TRUE(read(0, 4).empty());
    EXPECT_TRUE(read(30, 4).empty());
    EXPECT_EQ(read(8, 24), std::vector<std::uint8_t>(24, 0xFF));
    EXPECT_EQ(write(7, {0x00}), kErrTimeout);
    EXPECT_EQ(write(31, {0xA5}), 45);
    EXPECT_EQ(sim->otpContents(0).back(), 0xA5);
    EXPECT_EQ(read(31, 1), std::vector<std::uint8_t>{0xA5});
    insert(kWinbond);
    open(3);
    EXPECT_TRUE(read(0, 33).empty());
    EXPECT_TRUE(read(0, 0).empty());
}

TEST_F(Otp, WritesOnlyClearBits) {
    start(kWinbond);
    open(3);
    EXPECT_EQ(write(0x100, {0x0F, 0xFF}), 45);
    EXPECT_EQ(write(0x100, {0xF0, 0xFF}), 45);
    EXPECT_EQ(write(0x101, {0x3C}), 45);
    EXPECT_EQ(write(0x101, {0xFF}), 45);  // cannot set bits again
    EXPECT_EQ(read(0x100, 3), (std::vector<std::uint8_t>{0x00, 0x3C, 0xFF}));
    const auto otpBytes = sim->otpContents(0);
    EXPECT_EQ(otpBytes[0x100], 0x00);
    EXPECT_EQ(otpBytes[0x101], 0x3C);
    // A write that runs past the end takes nothing.
    EXPECT_EQ(write(760, std::vector<std::uint8_t>(16, 0x00)), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0)[760], 0xFF);
    // The main array is a different memory.
    EXPECT_EQ(sim->chipContents(0)[0x100], 0xFF);
}

// Lock --------------------------------------------------------------------------

TEST_F(Otp, LockIsForTheChipsLife) {
    start(kWinbond);
    open(3);
    EXPECT_EQ(write(0, {0x55}), 45);
    ASSERT_EQ(send(otpShort(otp::kLock, {})), 16);
    EXPECT_EQ(reply()[2], otp::kReplyDone);
    EXPECT_TRUE(sim->otpLocked(0));
    const auto s = status();
    ASSERT_EQ(s.size(), 45u);
    EXPECT_NE(s[3], 0);
    EXPECT_NE(s[4], 0);
    EXPECT_EQ(write(1, {0x00}), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0)[1], 0xFF);
    // New parameters and a new access do not unlock it.
    send(otpShort(otp::kEnd, {}));
    reply();
    open(3);
    EXPECT_NE(status()[3], 0);
    EXPECT_EQ(write(1, {0x00}), kErrTimeout);
    EXPECT_EQ(read(0, 1), std::vector<std::uint8_t>{0x55});
    // Another chip of the same type comes erased and unlocked.
    insert(kWinbond);
    EXPECT_FALSE(sim->otpLocked(0));
    EXPECT_EQ(sim->otpContents(0)[0], 0xFF);
}

TEST_F(Otp, Group5HasNoLock) {
    start(kProtected1024);
    open(5);
    ASSERT_EQ(send(otpShort(otp::kLock, {})), 16);
    EXPECT_TRUE(reply().empty());
    EXPECT_FALSE(sim->otpLocked(0));
    EXPECT_FALSE(sim->lockOtp(0));
    const auto s = status();
    ASSERT_EQ(s.size(), 45u);
    EXPECT_EQ(s[2], otp::kReplyStatus);
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(write(0x100, {0x00}), 45);  // still writable
}

// Deferred ranges -------------------------------------------------------------

TEST_F(Otp, DeferredRangesWrittenLastAreTaken) {
    start(kProtected512);  // 0x100..0x2FF
    open(5);
    EXPECT_TRUE(read(0xF0, 4).empty());
    // Passing over the protection bytes with 0xFF leaves them unwritten.
    std::vector<std::uint8_t> head(18, 0x11);
    head[0] = head[1] = 0xFF;
    EXPECT_EQ(write(0x100, head), 45);
    EXPECT_EQ(write(0x2F0, std::vector<std::uint8_t>(16, 0x22)), 45);
    EXPECT_EQ(write(0x100, {0x01, 0x02}), 45);
    EXPECT_EQ(write(0x112, {0x03, 0x04}), 45);
    EXPECT_EQ(write(0x214, {0x05, 0x06}), 45);
    const auto otpBytes = sim->otpContents(0);
    ASSERT_EQ(otpBytes.size(), 512u);
    EXPECT_EQ(otpBytes[0x000], 0x01);
    EXPECT_EQ(otpBytes[0x002], 0x11);
    EXPECT_EQ(otpBytes[0x012], 0x03);
    EXPECT_EQ(otpBytes[0x114], 0x05);
    EXPECT_EQ(otpBytes[0x1FF], 0x22);
    EXPECT_NE(status()[4] & otp::kStatusProtected, 0);
}

TEST_F(Otp, ADeferredRangeWrittenFirstBlocksTheRestOfTheArea) {
    start(kProtected512);
    open(5);
    EXPECT_EQ(write(0x214, {0x00, 0x00}), 45);
    EXPECT_EQ(write(0x120, {0x00}), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0)[0x20], 0xFF);
    EXPECT_EQ(write(0x100, {0x7F, 0x7F}), 45);  // the other deferred ranges still go
    EXPECT_EQ(sim->otpContents(0)[0x00], 0x7F);
}

TEST_F(Otp, PartOfADeferredRangeOrOneMixedWithOtherBytesIsRefused) {
    start(kProtected1024);  // deferred 0x000..0x01F
    open(5);
    EXPECT_EQ(write(0x000, std::vector<std::uint8_t>(16, 0x00)), kErrTimeout);
    EXPECT_EQ(write(0x010, std::vector<std::uint8_t>(32, 0x00)), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0), std::vector<std::uint8_t>(1024, 0xFF));
    EXPECT_EQ(write(0x020, std::vector<std::uint8_t>(32, 0x00)), 45);  // not yet protected
    EXPECT_EQ(write(0x000, std::vector<std::uint8_t>(32, 0x00)), 45);
    insert(kProtected512);
    open(5);
    EXPECT_EQ(write(0x101, {0x00, 0x00}), kErrTimeout);
    EXPECT_EQ(write(0x110, {0x00, 0x00, 0x00, 0x00}), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0), std::vector<std::uint8_t>(512, 0xFF));
}

// Faults ------------------------------------------------------------------------

TEST_F(Otp, OtpRefuseNaksTheFrameWithoutTakingIt) {
    start(kWinbond);
    fault("otp_refuse", "1@1");
    ASSERT_EQ(sendParameters(3), 16);
    EXPECT_EQ(send(otpShort(otp::kBegin, {})), kErrTimeout);
    EXPECT_TRUE(reply().empty());  // the refused begin never reached the firmware
    EXPECT_EQ(send(otpShort(otp::kBegin, {})), 16);
    EXPECT_EQ(reply().size(), 45u);
    EXPECT_FALSE(sim->faults(0).otpRefuse.armed());
    EXPECT_EQ(link->send(testing::frame(18)), 20);  // command frames are not OTP frames
}

TEST_F(Otp, OtpShortReplyCutsOneReplyTo44Bytes) {
    start(kWinbond);
    fault("otp_short_reply", "1@1");
    open(3);
    const auto s = status();
    ASSERT_EQ(s.size(), 44u);
    EXPECT_EQ(s[2], otp::kReplyStatus);
    EXPECT_EQ(status().size(), 45u);
}

TEST_F(Otp, OtpWriteFailsNaksAndWritesNothing) {
    start(kWinbond);
    fault("otp_write_fails", "1");
    open(3);
    EXPECT_EQ(write(4, {0x00}), kErrTimeout);
    EXPECT_EQ(sim->otpContents(0)[4], 0xFF);
    EXPECT_EQ(write(4, {0x00}), 45);
    EXPECT_EQ(sim->otpContents(0)[4], 0x00);
}

TEST_F(Otp, FaultsComeFromTheConfigurationToo) {
    const SimConfig c = parseConfigText(
        "fault.otp_refuse=2@3\nfault.otp_short_reply=1\nfault.otp_write_fails=always\n");
    EXPECT_EQ(c.slots[0].faults.otpRefuse.count, 2);
    EXPECT_EQ(c.slots[0].faults.otpRefuse.after, 3);
    EXPECT_EQ(c.slots[0].faults.otpShortReply.count, 1);
    EXPECT_EQ(c.slots[0].faults.otpWriteFails.count, -1);
    EXPECT_NE(describeFaults(c.slots[0].faults).find("otp_write_fails=always"), std::string::npos);
}

// Built-in models ---------------------------------------------------------------

TEST_F(Otp, BuiltInChipsCarryTheAreaOfTheirIdentity) {
    start(kWinbond);
    EXPECT_EQ(sim->otpContents(0).size(), 768u);
    insert("MX25L6405");  // C22017
    EXPECT_EQ(sim->otpContents(0).size(), 512u);
    insert("GD25Q32");  // C84016
    EXPECT_EQ(sim->otpContents(0).size(), 1024u);
    insert("EN25Q64");  // 1C3017
    EXPECT_EQ(sim->otpContents(0).size(), 512u);
    insert("24C256");
    EXPECT_TRUE(sim->otpContents(0).empty());
    const auto layout = otpLayoutFor(0x010216);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->base, 0x100u);
    EXPECT_FALSE(layout->lockable);
    EXPECT_EQ(layout->deferred.size(), 3u);
    EXPECT_FALSE(otpLayoutFor(0xBF2541));
}

}  // namespace
}  // namespace nyra::sim
