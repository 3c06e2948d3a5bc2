// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_codec.h"

namespace nyra::catalogue_codec {

namespace {

// Sources: 22 punctuation characters and the 17 lower-case letters that no
// catalogue text needs. Partners: digits, upper-case letters and the three
// letters of "bit". What survives untouched is "$#@:*-./()", space, and the
// lower-case letters b e i k m s t v x.
constexpr std::string_view kSources = "!\"%&'+,;<=>?[\\]^_`{|}~acdfghjlnopqruwyz";
constexpr std::string_view kPartners = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZbit";
static_assert(kSources.size() == kSubstitutionPairCount);
static_assert(kPartners.size() == kSubstitutionPairCount);

struct Tables {
    std::array<std::uint8_t, 256> read{};
    std::array<std::uint8_t, 256> write{};
    std::array<bool, 256> carriable{};
};

constexpr Tables makeTables() {
    Tables t;
    for (std::size_t i = 0; i < 256; ++i) {
        t.read[i] = static_cast<std::uint8_t>(i);
        t.write[i] = static_cast<std::uint8_t>(i);
        t.carriable[i] = i < 128;
    }
    for (std::size_t i = 0; i < kSubstitutionPairCount; ++i) {
        const auto source = static_cast<std::uint8_t>(kSources[i]);
        const auto partner = static_cast<std::uint8_t>(kPartners[i]);
        t.read[source] = partner;
        t.write[partner] = source;
        t.carriable[source] = false;
    }
    return t;
}

constexpr Tables kTables = makeTables();

constexpr bool tableIsConsistent() {
    for (std::size_t i = 0; i < 128; ++i) {
        const auto value = static_cast<std::uint8_t>(i);
        if (kTables.carriable[i] && kTables.read[kTables.write[i]] != value) {
            return false;
        }
        if (bitPass(bitPass(value)) != value) {
            return false;
        }
    }
    return true;
}
static_assert(tableIsConsistent(), "substitution pairs must be one-to-one");

constexpr std::array<SubstitutionPair, kSubstitutionPairCount> makePairs() {
    std::array<SubstitutionPair, kSubstitutionPairCount> pairs{};
    for (std::size_t i = 0; i < kSubstitutionPairCount; ++i) {
        pairs[i] = {kSources[i], kPartners[i]};
    }
    return pairs;
}

}  // namespace

const std::array<SubstitutionPair, kSubstitutionPairCount> kSubstitutionPairs = makePairs();

std::uint8_t substitute(std::uint8_t value) {
    return kTables.read[value];
}

std::uint8_t unsubstitute(std::uint8_t value) {
    return kTables.write[value];
}

bool canCarry(std::uint8_t value) {
    return kTables.carriable[value];
}

void unscramble(std::span<std::uint8_t> image) {
    for (auto& byte : image) {
        byte = substitute(bitPass(byte));
    }
}

std::optional<std::vector<std::uint8_t>> scramble(std::string_view text) {
    std::vector<std::uint8_t> stored;
    stored.reserve(text.size());
    for (const char c : text) {
        const auto value = static_cast<std::uint8_t>(c);
        if (!canCarry(value)) {
            return std::nullopt;
        }
        stored.push_back(bitPass(unsubstitute(value)));
    }
    return stored;
}

}  // namespace nyra::catalogue_codec
