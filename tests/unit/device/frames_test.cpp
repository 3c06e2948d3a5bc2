// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace nyra {
namespace {

TEST(CommandFrame, WritesOnlyCodeBitsAndGivenArgumentBytes) {
    CommandFrame frame{};
    frame[0] = kFrameStart;
    frame[1] = 0xC0;  // voltage and 16-bit bits from the chip parameters
    frame[19] = kFrameEnd;

    const std::uint8_t four[] = {0x00, 0x80, 0x00, 0x00};
    writeCommand(frame, 8, four);
    EXPECT_EQ(frame[1], 0xC8);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 13, frame.begin() + 17),
              (std::vector<std::uint8_t>{0x00, 0x80, 0x00, 0x00}));

    // A one-byte command after a four-byte one keeps bytes 14..16.
    const std::uint8_t one[] = {1};
    writeCommand(frame, 34, one);
    EXPECT_EQ(frame[1], 0xC0 | 34);
    EXPECT_EQ(frame[13], 1);
    EXPECT_EQ(frame[14], 0x80);
    EXPECT_EQ(frame[15], 0x00);
    EXPECT_EQ(frame[0], kFrameStart);
    EXPECT_EQ(frame[19], kFrameEnd);

    // A command without argument carries the old bytes unchanged.
    writeCommand(frame, 9, {});
    EXPECT_EQ(frame[1], 0xC9);
    EXPECT_EQ(frame[13], 1);
    EXPECT_EQ(frame[14], 0x80);
}

TEST(CommandFrame, CodeIsMaskedToSixBitsAndArgumentToSixBytes) {
    CommandFrame frame{};
    frame[19] = kFrameEnd;
    const std::uint8_t seven[] = {1, 2, 3, 4, 5, 6, 7};
    writeCommand(frame, 0xFF, seven);
    EXPECT_EQ(frame[1], 0x3F);
    EXPECT_EQ(frame[18], 6);
    EXPECT_EQ(frame[19], kFrameEnd);  // the end marker survives a long argument
}

TEST(ShortFrames, Layout) {
    EXPECT_EQ(makeShortFrame(13, 0x42), (ShortFrame{0xA5, 13, 0x42, 0x5A}));

    const std::uint8_t arg[] = {0x10, 0x00, 0x20, 0x00};
    const ExtendedShortFrame s = makeExtendedShortFrame(2, arg);
    EXPECT_EQ(s[0], 0xA5);
    EXPECT_EQ(s[1], 1);
    EXPECT_EQ(s[2], 2);
    EXPECT_EQ(s[3], 0x10);
    EXPECT_EQ(s[5], 0x20);
    EXPECT_EQ(s[7], 0);  // past the argument
    EXPECT_EQ(s[15], 0x5A);

    std::vector<std::uint8_t> longArg(60, 0x77);
    const ExtendedLongFrame l = makeExtendedLongFrame(0x25, longArg);
    EXPECT_EQ(l[1], 2);
    EXPECT_EQ(l[2], 0x25);
    EXPECT_EQ(l[43], 0x77);  // 41 argument bytes fill bytes 3..43
    EXPECT_EQ(l[44], 0x5A);  // and never overwrite the end marker
}

TEST(ExtendedReply, ValidOnlyWhenEveryMarkerAndTheLengthFit) {
    std::vector<std::uint8_t> reply(45, 0);
    reply[0] = 0xA5;
    reply[1] = 3;
    reply[2] = 0x39;
    reply[44] = 0x5A;
    EXPECT_TRUE(isValidExtendedReply(reply, 0x39));
    EXPECT_FALSE(isValidExtendedReply(reply, 0x38));

    auto broken = reply;
    broken[1] = 2;
    EXPECT_FALSE(isValidExtendedReply(broken, 0x39));
    broken = reply;
    broken[44] = 0;
    EXPECT_FALSE(isValidExtendedReply(broken, 0x39));
    broken = reply;
    broken[0] = 0;
    EXPECT_FALSE(isValidExtendedReply(broken, 0x39));
    EXPECT_FALSE(isValidExtendedReply(std::span(reply).first(44), 0x39));
    reply.push_back(0x5A);
    EXPECT_FALSE(isValidExtendedReply(reply, 0x39));
}

TEST(BigEndian, MostSignificantFirst) {
    EXPECT_EQ(bigEndian32(0x01020304), (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace nyra
