// SPDX-License-Identifier: GPL-3.0-or-later
// The .nyr layout and the upgrade key that the program and the boot loader share.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "device/firmware_image.h"

namespace nyra {
namespace {

TEST(FirmwareImage, TheChecksumIsTheSumOfThePayloadMostSignificantByteFirst) {
    const std::vector<std::uint8_t> body(1000, 0xAB);  // 1005 bytes of payload in all
    const auto file = buildFirmwareFile(0x13, body);
    ASSERT_EQ(file.size(), 4u + 1 + 1000 + 3);
    EXPECT_TRUE(firmwareChecksumMatches(file));
    const std::uint32_t sum = 'N' + 'Y' + 'R' + 'F' + 0x13 + 1000u * 0xAB;
    EXPECT_EQ(storedFirmwareChecksum(file), sum);
    EXPECT_EQ(file[file.size() - 3], static_cast<std::uint8_t>(sum >> 16));
    EXPECT_EQ(file.back(), static_cast<std::uint8_t>(sum));
    EXPECT_EQ(firmwareVersionOf(std::span(file).first(file.size() - 3)), 0x13);

    auto broken = file;
    broken[7] ^= 1;
    EXPECT_FALSE(firmwareChecksumMatches(broken));
    broken = file;
    broken.back() ^= 1;
    EXPECT_FALSE(firmwareChecksumMatches(broken));
}

TEST(FirmwareImage, FilesTooShortForAPayloadByteNeverPass) {
    EXPECT_FALSE(firmwareChecksumMatches(std::vector<std::uint8_t>{}));
    EXPECT_FALSE(firmwareChecksumMatches(std::vector<std::uint8_t>{0, 0, 0}));  // sums to 0 = 0
    EXPECT_FALSE(storedFirmwareChecksum(std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(storedFirmwareChecksum(std::vector<std::uint8_t>{1, 2, 3}), 0x010203u);
    EXPECT_TRUE(firmwareChecksumMatches(std::vector<std::uint8_t>{7, 0, 0, 7}));
    EXPECT_FALSE(firmwareVersionOf(std::vector<std::uint8_t>{'N', 'Y', 'R', 'F'}));
    EXPECT_FALSE(firmwareVersionOf(std::vector<std::uint8_t>{'N', 'Y', 'R', 'X', 0x13}));
}

TEST(FirmwareImage, OnlyAWholeFileWithAVariedBodyIsFirmware) {
    const std::vector<std::uint8_t> varied{1, 2, 3, 1};
    const auto good = buildFirmwareFile(0x13, varied);
    auto otherMagic = good;
    otherMagic[3] = 'X';
    otherMagic.back() = static_cast<std::uint8_t>(otherMagic.back() - 'F' + 'X');  // sum kept
    auto cut = good;
    cut.erase(cut.begin() + 6);
    using P = FirmwareFileProblem;
    const std::vector<std::pair<std::vector<std::uint8_t>, P>> cases{
        {good, P::None},
        {buildFirmwareFile(0x13, std::vector<std::uint8_t>{0, 0xFF}), P::None},
        {std::vector<std::uint8_t>(4096, 0), P::NoMagic},  // sums to its stored 0
        {{}, P::NoMagic},
        {{'N', 'Y', 'R', 'F', 0x13, 0, 1}, P::NoMagic},  // no room for a checksum
        {otherMagic, P::NoMagic},
        {cut, P::ChecksumMismatch},
        {buildFirmwareFile(0x13, {}), P::NoBody},
        {buildFirmwareFile(0x13, std::vector<std::uint8_t>(4000, 0)), P::Uniform},
        {buildFirmwareFile(0x13, std::vector<std::uint8_t>(4000, 0xFF)), P::Uniform},
        {buildFirmwareFile(0x13, std::vector<std::uint8_t>{7}), P::Uniform},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(firmwareFileProblem(cases[i].first), cases[i].second) << i;
    }
}

TEST(FirmwareImage, ASumBeyondTwentyFourBitsNeverMatches) {
    // 65,794 bytes of 0xFF sum to 0x1000 0FE: its low 24 bits as the checksum must not pass.
    std::vector<std::uint8_t> file(65794, 0xFF);
    const std::uint64_t sum = firmwarePayloadSum(file);
    ASSERT_GE(sum, 1u << 24);
    file.push_back(static_cast<std::uint8_t>(sum >> 16));
    file.push_back(static_cast<std::uint8_t>(sum >> 8));
    file.push_back(static_cast<std::uint8_t>(sum));
    EXPECT_FALSE(firmwareChecksumMatches(file));
}

TEST(FirmwareImage, TheKeyIsFixedAndKeyingTwiceGivesTheByteBack) {
    // The documented first bytes: a changed key would strand every programmer.
    const std::vector<std::uint8_t> first{0xD1, 0xAE, 0xB7, 0x3D, 0xCB, 0x5B, 0x6B, 0x26};
    EXPECT_TRUE(std::equal(first.begin(), first.end(), kUpgradeKey.begin()));
    EXPECT_GT(std::set<std::uint8_t>(kUpgradeKey.begin(), kUpgradeKey.end()).size(), 128u);
    for (std::uint64_t offset : {0ull, 1ull, 255ull, 256ull, 1023ull, 300000ull}) {
        const std::uint8_t keyed = keyedFirmwareByte(0x3C, offset);
        EXPECT_EQ(keyed, 0x3C ^ kUpgradeKey[offset % 256]);
        EXPECT_EQ(keyedFirmwareByte(keyed, offset), 0x3C);
    }
}

TEST(FirmwareVersionText, TheHighNibblePlusOneIsTheMajorNumber) {
    EXPECT_EQ(firmwareVersionText(0x05), "V1.5");
    EXPECT_EQ(firmwareVersionText(0x1A), "V2.A");
    EXPECT_EQ(firmwareVersionText(0x00), "V1.0");
    EXPECT_EQ(firmwareVersionText(0xF3), "V10.3");
}

}  // namespace
}  // namespace nyra
