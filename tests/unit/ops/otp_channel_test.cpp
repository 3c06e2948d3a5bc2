// SPDX-License-Identifier: GPL-3.0-or-later
// The OTP table and the extended frames the OTP operations travel in.
#include <gtest/gtest.h>

#include "ops/otp_channel.h"
#include "otp/otp_table.h"
#include "sim/otp.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

// The program's table and the programmer's (the simulator's, kept apart)
// name the same areas: a wrong ID would leave a chip without its OTP window.
TEST(OtpTable, EveryEntryIsTheAreaTheProgrammerKnows) {
    for (const OtpGroup& group : otpTable()) {
        for (const OtpEntry& entry : group.entries) {
            const std::string id = ChipCatalogue::idText(entry.identity);
            SCOPED_TRACE(id);
            const auto found = findOtpEntry(id);
            ASSERT_TRUE(found);
            EXPECT_EQ(&found->entryOf(), &entry) << "each ID once";
            const auto layout = sim::otpLayoutFor(entry.identity);
            ASSERT_TRUE(layout);
            EXPECT_EQ(layout->group, found->group);
            EXPECT_EQ(layout->base, entry.base);
            EXPECT_EQ(layout->size, entry.size);
            EXPECT_EQ(layout->deferred.size(), entry.deferred.size());
        }
    }
}

TEST(OtpTable, EntriesAreFoundInTableOrderWithTheirAreas) {
    const auto& table = otpTable();
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[3].lockStateFlag(), 0x35);
    EXPECT_EQ(table[5].lockStateFlag(), 0);
    std::size_t entries = 0;
    for (const auto& group : table)
        entries += group.entries.size();
    EXPECT_EQ(entries, 19u + 2u + 21u + 21u + 1u + 5u);

    const auto w25 = findOtpEntry("EF4018");
    ASSERT_TRUE(w25);
    EXPECT_EQ(w25->group, 3);
    EXPECT_EQ(w25->entryOf().size, 768);
    EXPECT_EQ(findOtpEntry("EF4016")->entryOf().note, "不支持W25Q32BV");

    const auto sst = findOtpEntry("BF254B");
    ASSERT_TRUE(sst);
    EXPECT_EQ(sst->entryOf().base, 8);
    EXPECT_EQ(sst->entryOf().size, 24);

    const OtpEntry& spansion = findOtpEntry("010215")->entryOf();
    EXPECT_EQ(spansion.base, 0x100);
    ASSERT_EQ(spansion.deferred.size(), 3u);
    EXPECT_EQ(spansion.deferred[2].start, 0x214);
    EXPECT_EQ(spansion.deferred[2].end, 0x215);
    EXPECT_EQ(findOtpEntry("012018")->entryOf().deferred[0].end, 0x1F);

    const OtpEntry& mx = findOtpEntry("C22018")->entryOf();
    EXPECT_EQ(mx.size, 512);
    EXPECT_EQ(mx.otherSizes, std::vector<std::uint16_t>{64});
    EXPECT_EQ(mx.note, "MX25L12805D容量为64bytes,文件长度请勿超出OTP实际容量");

    EXPECT_FALSE(findOtpEntry("EF3013"));
    EXPECT_FALSE(findOtpEntry("ef4018")) << "identities compare as upper-case digits";
    EXPECT_FALSE(findOtpEntry(""));
}

class OtpChannelTest : public ops_test::ChipJobTest {
protected:
    OtpChannel otp() { return OtpChannel(context().channel); }
    // The frames sent on the interrupt endpoint since the last call.
    std::vector<std::vector<std::uint8_t>> sent() {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const auto& record : simulator.transferLog(0)) {
            if (record.call == sim::UsbCall::InterruptWrite && record.size != 20)
                frames.push_back(record.data);
        }
        simulator.clearTransferLog();
        return frames;
    }
    static std::vector<std::uint8_t> reply(std::uint8_t status,
                                           std::initializer_list<std::uint8_t> data = {}) {
        std::vector<std::uint8_t> bytes(45, 0);
        bytes[0] = 0xA5;
        bytes[1] = 0x03;
        bytes[2] = status;
        std::copy(data.begin(), data.end(), bytes.begin() + 3);
        bytes[44] = 0x5A;
        return bytes;
    }
    void SetUp() override {
        ChipJobTest::SetUp();
        ASSERT_TRUE(state.link().connected());
        simulator.clearTransferLog();
    }
};

TEST_F(OtpChannelTest, FramesCarryAddressesAndLengthsLowByteFirst) {
    auto channel = otp();
    // The socket's chip has no OTP area, so the programmer refuses the
    // parameters and drops the write; the frames as sent are what counts here.
    EXPECT_FALSE(channel.sendParameters(otpTable()[2].parameters));
    const std::vector<std::uint8_t> data(32, 0x5C);
    channel.write(0x0123, data);
    simulator.injectIn(0, reply(otp_reply::kData, {1, 2, 3, 4}));
    const auto bytes = channel.read(0x02F0, 4);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));

    const auto frames = sent();
    ASSERT_EQ(frames.size(), 3u);
    const std::vector<std::uint8_t> parameters = {0xA5, 0x01, 0x01, 0x02, 0x00, 0xB1, 0xC1, 0x02,
                                                  0x03, 0x2B, 0x2F, 0x01, 0x00, 0x00, 0x00, 0x5A};
    EXPECT_EQ(frames[0], parameters);
    ASSERT_EQ(frames[1].size(), 45u);
    EXPECT_EQ(std::vector<std::uint8_t>(frames[1].begin(), frames[1].begin() + 7),
              (std::vector<std::uint8_t>{0xA5, 0x02, 37, 0x23, 0x01, 32, 0}));
    EXPECT_EQ(frames[1][7], 0x5C);
    EXPECT_EQ(frames[1][38], 0x5C);
    EXPECT_EQ(frames[1][44], 0x5A);
    EXPECT_EQ(frames[2], (std::vector<std::uint8_t>{0xA5, 0x01, 0x02, 0xF0, 0x02, 0x04, 0x00, 0, 0,
                                                    0, 0, 0, 0, 0, 0, 0x5A}));
}

// A write frame holds the address, the length and the data, cut to one step,
// and nothing after them up to its end marker.
TEST_F(OtpChannelTest, AWriteFrameCarriesItsDataAndNothingMore) {
    for (const std::size_t size : {1u, 31u, 32u, 40u}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>(0xC0 + i);
        otp().write(0x0345, data);
        const auto frames = sent();
        ASSERT_EQ(frames.size(), 1u);
        const std::size_t length = std::min<std::size_t>(size, kOtpStep);
        std::vector<std::uint8_t> expected(45, 0);
        expected[0] = kFrameStart;
        expected[1] = 0x02;
        expected[2] = otp_op::kWrite;
        expected[3] = 0x45;
        expected[4] = 0x03;
        expected[5] = static_cast<std::uint8_t>(length);
        std::copy_n(data.begin(), length, expected.begin() + 7);
        expected[44] = kFrameEnd;
        EXPECT_EQ(frames[0], expected);
    }
}

TEST_F(OtpChannelTest, OnlyAWholeReplyWithItsStatusIsTaken) {
    auto channel = otp();
    simulator.injectIn(0, reply(otp_reply::kStatus, {0x01, 0x80}));
    const auto status = channel.status();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->lockByte, 1);
    EXPECT_EQ(status->value, 0x80);

    // Short: the first 44 bytes of a sound reply are not enough.
    auto cut = reply(otp_reply::kStatus, {0x01, 0x80});
    cut.pop_back();
    simulator.injectIn(0, cut);
    EXPECT_FALSE(channel.status());
    // Long: a 46th byte means it was not one reply.
    simulator.injectIn(0, [] {
        auto longer = reply(otp_reply::kDone);
        longer.push_back(0);
        return longer;
    }());
    EXPECT_FALSE(channel.begin());
    for (const std::size_t at : {0u, 1u, 2u, 44u}) {
        auto bad = reply(otp_reply::kDone);
        bad[at] ^= 0xFF;
        simulator.injectIn(0, bad);
        EXPECT_FALSE(channel.end()) << "byte " << at;
    }
    simulator.injectIn(0, reply(otp_reply::kStatus));
    EXPECT_FALSE(channel.lock()) << "a status reply is no done reply";
    simulator.injectIn(0, reply(otp_reply::kDone));
    EXPECT_TRUE(channel.lock());
}

}  // namespace
}  // namespace nyra
