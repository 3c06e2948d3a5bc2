// SPDX-License-Identifier: GPL-3.0-or-later
// The find tool's pattern and search: leftmost matches that never overlap,
// found across the window boundary, against a plain reference search.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "buffer/byte_finder.h"

namespace nyra {
namespace {

std::vector<std::uint64_t> findAll(const std::vector<std::uint8_t>& data,
                                   const std::vector<std::uint8_t>& pattern) {
    ByteFinder finder(
        [&data](std::uint64_t offset, std::uint8_t* out, std::size_t n) {
            if (offset >= data.size())
                return std::size_t{0};
            const std::size_t got = std::min<std::size_t>(n, data.size() - offset);
            std::memcpy(out, data.data() + offset, got);
            return got;
        },
        data.size(), pattern);
    std::vector<std::uint64_t> found;
    while (const auto at = finder.next())
        found.push_back(*at);
    return found;
}

// Left to right, skipping past each match: the first byte by memchr, the rest
// by memcmp (a byte loop is too slow for megabyte files under the sanitizers).
std::vector<std::uint64_t> reference(const std::vector<std::uint8_t>& data,
                                     const std::vector<std::uint8_t>& pattern) {
    std::vector<std::uint64_t> found;
    const std::size_t m = pattern.size();
    for (std::size_t i = 0; i + m <= data.size();) {
        const void* first = std::memchr(data.data() + i, pattern[0], data.size() - m + 1 - i);
        if (first == nullptr)
            break;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(first) - data.data());
        if (std::memcmp(data.data() + i, pattern.data(), m) == 0) {
            found.push_back(i);
            i += m;
        } else {
            ++i;
        }
    }
    return found;
}

TEST(SearchPattern, HexTextIsUpperCasedPaddedAndChecked) {
    EXPECT_EQ(searchPattern("abc", true).hex, "0ABC");
    EXPECT_EQ(patternBytes("0ABC"), (std::vector<std::uint8_t>{0x0A, 0xBC}));
    EXPECT_EQ(searchPattern("aAbB", true).hex, "AABB");
    EXPECT_EQ(searchPattern("", true).error, itext(168));
    EXPECT_EQ(searchPattern("", false).error, itext(168));
    for (const char* bad : {"AA BB", "AG", "0x12", " "})
        EXPECT_EQ(searchPattern(bad, true).error, itext(169)) << bad;
    // Character mode: the text's bytes, whatever they are.
    EXPECT_EQ(searchPattern("Ab 1", false).hex, "41622031");
    EXPECT_EQ(searchPattern("\xE4\xB8\xAD", false).hex, "E4B8AD");
    EXPECT_FALSE(searchPattern("Ab 1", false).error);
}

TEST(ByteFinder, MatchesAreLeftmostAndNeverOverlap) {
    EXPECT_EQ(findAll({0xAA, 0xAA, 0xAB}, {0xAA, 0xAB}), std::vector<std::uint64_t>{1});
    EXPECT_EQ(findAll({0xAA, 0xAA, 0xAA}, {0xAA, 0xAA}), std::vector<std::uint64_t>{0});
    EXPECT_EQ(findAll({0xAA, 0xAA, 0xAA, 0xAA}, {0xAA, 0xAA}), (std::vector<std::uint64_t>{0, 2}));
    EXPECT_TRUE(findAll({0x01, 0x02}, {0x01, 0x02, 0x03}).empty());
    EXPECT_TRUE(findAll({}, {0x01}).empty());
    EXPECT_EQ(findAll({0x05}, {0x05}), std::vector<std::uint64_t>{0});
}

TEST(ByteFinder, AMatchAcrossTheWindowBoundaryIsFoundOnce) {
    std::vector<std::uint8_t> data(kFindWindowBytes + 100, 0x00);
    const std::vector<std::uint8_t> pattern{0x11, 0x22, 0x33, 0x44};
    std::copy(pattern.begin(), pattern.end(), data.begin() + kFindWindowBytes - 2);
    EXPECT_EQ(findAll(data, pattern), std::vector<std::uint64_t>{kFindWindowBytes - 2});
    // A match ending exactly at the window's end, and one starting right after it.
    std::fill(data.begin(), data.end(), 0x00);
    std::copy(pattern.begin(), pattern.end(), data.begin() + kFindWindowBytes - 4);
    std::copy(pattern.begin(), pattern.end(), data.begin() + kFindWindowBytes);
    EXPECT_EQ(findAll(data, pattern),
              (std::vector<std::uint64_t>{kFindWindowBytes - 4, kFindWindowBytes}));
}

TEST(ByteFinder, RepeatedBytesAcrossTheBoundaryNeverGiveOverlappingMatches) {
    // Matches at every even offset run through the window's end: the next
    // window starts inside the last match and must not report it again.
    const std::vector<std::uint8_t> data(kFindWindowBytes + 10, 0xAA);
    const auto found = findAll(data, {0xAA, 0xAA});
    EXPECT_EQ(found, reference(data, {0xAA, 0xAA}));
    for (std::size_t i = 1; i < found.size(); ++i)
        ASSERT_GE(found[i], found[i - 1] + 2) << i;
}

TEST(ByteFinder, AgreesWithThePlainSearchOnRandomData) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        // Small alphabets make matches and near-matches frequent.
        const unsigned alphabet = 2 + random() % 3;
        const std::size_t size = round < 4 ? kFindWindowBytes + random() % 5000 : random() % 3000;
        std::vector<std::uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random() % alphabet);
        std::vector<std::uint8_t> pattern(1 + random() % 5);
        for (auto& b : pattern)
            b = static_cast<std::uint8_t>(random() % alphabet);
        ASSERT_EQ(findAll(data, pattern), reference(data, pattern)) << "round " << round;
    }
}

// Long patterns too, placed at and around the window's edge and the file's
// ends: every one is found where the plain search finds it.
TEST(ByteFinder, FindsPatternsOfEveryLengthAtEveryEdge) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> data(kFindWindowBytes + 70000);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(random());
    // Every length up to past the first stretch, then some long ones.
    std::vector<std::size_t> lengths;
    for (std::size_t m = 1; m <= 70; ++m)
        lengths.push_back(m);
    for (const std::size_t m : {100u, 128u, 193u, 194u, 200u, 256u, 300u, 511u, 1000u, 4096u})
        lengths.push_back(m);
    for (const std::size_t m : lengths) {
        const std::size_t edge = kFindWindowBytes;
        for (const std::size_t at : {std::size_t{0}, std::size_t{1000}, edge - m - 1, edge - m,
                                     edge - m / 2, edge - 1, edge, data.size() - m}) {
            std::vector<std::uint8_t> pattern(m);
            for (auto& b : pattern)
                b = static_cast<std::uint8_t>(random());
            const auto place = data.begin() + static_cast<long>(at);
            const std::vector<std::uint8_t> kept(place, place + static_cast<long>(m));
            std::copy(pattern.begin(), pattern.end(), place);
            const auto found = findAll(data, pattern);
            ASSERT_EQ(found, reference(data, pattern)) << "length " << m << " at " << at;
            ASSERT_FALSE(found.empty()) << "length " << m << " at " << at;
            std::copy(kept.begin(), kept.end(), data.begin() + static_cast<long>(at));
        }
    }
}

}  // namespace
}  // namespace nyra
