// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "catalogue/catalogue_codec.h"

namespace nyra {
namespace {

using namespace catalogue_codec;

TEST(CatalogueCodec, BitPassSwapsNibbleBitsInvertsBit3AndDropsBit7) {
    EXPECT_EQ(bitPass(0x00), 0x08);
    EXPECT_EQ(bitPass(0x01), 0x18);
    EXPECT_EQ(bitPass(0x10), 0x09);
    EXPECT_EQ(bitPass(0x08), 0x00);
    EXPECT_EQ(bitPass(0x80), 0x08);
    EXPECT_EQ(bitPass(0xFF), 0x77);
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        EXPECT_LT(bitPass(b), 0x80);
        EXPECT_EQ(bitPass(bitPass(b)), b & 0x7F) << v;
    }
}

TEST(CatalogueCodec, PairsFollowTheFormatRules) {
    std::set<char> sources;
    std::set<char> partners;
    int punctuation = 0;
    int lower = 0;
    int digits = 0;
    int upper = 0;
    int lowerPartners = 0;
    for (const auto& [source, partner] : kSubstitutionPairs) {
        EXPECT_TRUE(sources.insert(source).second) << source;
        EXPECT_TRUE(partners.insert(partner).second) << partner;
        punctuation += std::ispunct(static_cast<unsigned char>(source)) ? 1 : 0;
        lower += std::islower(static_cast<unsigned char>(source)) ? 1 : 0;
        digits += std::isdigit(static_cast<unsigned char>(partner)) ? 1 : 0;
        upper += std::isupper(static_cast<unsigned char>(partner)) ? 1 : 0;
        lowerPartners += std::islower(static_cast<unsigned char>(partner)) ? 1 : 0;
    }
    EXPECT_EQ(punctuation, 22);
    EXPECT_EQ(lower, 17);
    EXPECT_EQ(digits, 10);
    EXPECT_EQ(upper, 26);
    EXPECT_EQ(lowerPartners, 3);
    for (const char p : partners) {
        EXPECT_EQ(sources.count(p), 0u) << "partner " << p << " is also a source";
    }
}

TEST(CatalogueCodec, EveryCarriableByteRoundTripsAndTheCatalogueCharactersAreAmongThem) {
    for (const char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ$#@:*-./() bitx\r\n")) {
        EXPECT_TRUE(canCarry(static_cast<std::uint8_t>(c))) << c;
    }
    std::string text;
    for (int c = 0; c < 128; ++c) {
        if (canCarry(static_cast<std::uint8_t>(c))) {
            text.push_back(static_cast<char>(c));
        }
    }
    EXPECT_EQ(text.size(), 128u - kSubstitutionPairCount);
    auto stored = scramble(text);
    ASSERT_TRUE(stored.has_value());
    for (const auto b : *stored) {
        EXPECT_LT(b, 0x80) << "bit 7 is written as 0";
    }
    unscramble(*stored);
    EXPECT_EQ(std::string(stored->begin(), stored->end()), text);
}

TEST(CatalogueCodec, RefusesSourcesAndEightBitText) {
    EXPECT_FALSE(scramble("W25Q80a").has_value());
    EXPECT_FALSE(scramble("A_B").has_value());
    EXPECT_FALSE(scramble("\xE5\x9E\x8B").has_value());
    // Bit 7 is written as 0, so no byte from 128 up could come back.
    for (int b = 128; b < 256; ++b) {
        EXPECT_FALSE(canCarry(static_cast<std::uint8_t>(b))) << b;
    }
    EXPECT_FALSE(scramble("A\x80").has_value());
    for (const auto& [source, partner] : kSubstitutionPairs) {
        EXPECT_FALSE(canCarry(static_cast<std::uint8_t>(source)));
        EXPECT_EQ(substitute(static_cast<std::uint8_t>(source)),
                  static_cast<std::uint8_t>(partner));
    }
}

TEST(CatalogueCodec, ReaderIgnoresBit7OfStoredBytes) {
    auto stored = scramble("@X");
    ASSERT_TRUE(stored.has_value());
    for (auto& b : *stored) {
        b |= 0x80;
    }
    unscramble(*stored);
    EXPECT_EQ(std::string(stored->begin(), stored->end()), "@X");
}

}  // namespace
}  // namespace nyra
