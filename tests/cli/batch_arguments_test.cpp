// SPDX-License-Identifier: GPL-3.0-or-later
// How kvq-cli batch reads its numbers: decimal (leading zeros and all, as the
// window takes them) or 0x hex, nothing else; the fill address is left to the
// main document's end unless given.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "batch_command.h"

namespace nyra::cli {
namespace {

struct NumberRow {
    const char* option;
    const char* text;
    std::optional<std::uint32_t> read;  // none: a usage error
};

void PrintTo(const NumberRow& row, std::ostream* os) {
    *os << row.option << ' ' << row.text;
}

class NumberRows : public ::testing::TestWithParam<NumberRow> {};

TEST_P(NumberRows, AreDecimalOrHexOnly) {
    const NumberRow& row = GetParam();
    BatchRequest request;
    std::string error;
    const bool ok = parseBatchArguments({"--mode", "id", "--file", "f.bin", row.option, row.text},
                                        request, error);
    ASSERT_EQ(ok, row.read.has_value()) << error;
    if (!row.read) {
        EXPECT_NE(error.find(row.option), std::string::npos) << error;
        return;
    }
    const std::string option = row.option;
    const std::uint64_t got = option == "--address" ? request.address.value_or(0xDEAD)
                              : option == "--start" ? request.start
                              : option == "--count" ? request.count.value_or(0)
                                                    : request.increment;
    EXPECT_EQ(got, *row.read);
}

INSTANTIATE_TEST_SUITE_P(
    Batch, NumberRows,
    ::testing::Values(
        NumberRow{"--start", "0100", 100}, NumberRow{"--start", "100", 100},
        NumberRow{"--start", "0", 0}, NumberRow{"--start", "08", 8},
        NumberRow{"--start", "0x100", 256}, NumberRow{"--start", "0X1f", 31},
        NumberRow{"--start", "4294967295", 4294967295u},
        NumberRow{"--start", "0xFFFFFFFF", 4294967295u},
        NumberRow{"--start", "4294967296", std::nullopt}, NumberRow{"--start", "0x", std::nullopt},
        NumberRow{"--start", "", std::nullopt}, NumberRow{"--start", "-1", std::nullopt},
        NumberRow{"--start", "+1", std::nullopt}, NumberRow{"--start", " 1", std::nullopt},
        NumberRow{"--start", "1e3", std::nullopt}, NumberRow{"--start", "0b101", std::nullopt},
        NumberRow{"--start", "0x-1", std::nullopt}, NumberRow{"--address", "01000", 1000},
        NumberRow{"--address", "0x200", 512}, NumberRow{"--address", "0777", 777},
        NumberRow{"--increment", "010", 10}, NumberRow{"--increment", "0", std::nullopt},
        NumberRow{"--count", "07", 7}, NumberRow{"--count", "0", std::nullopt}));

TEST(BatchArguments, TheFillAddressIsUnsetUnlessGiven) {
    BatchRequest request;
    std::string error;
    ASSERT_TRUE(parseBatchArguments({"--mode", "id", "--file", "f.bin"}, request, error)) << error;
    EXPECT_FALSE(request.address.has_value());
}

// A start its ID length cannot hold would put an earlier chip's number on
// the chip; options in any order.
TEST(BatchArguments, AStartThatDoesNotFitItsLengthIsRefused) {
    const struct {
        const char* length;
        const char* start;
        bool fits;
    } rows[] = {{"1", "255", true},   {"1", "256", false},     {"1", "300", false},
                {"2", "65535", true}, {"2", "0x10000", false}, {"4", "4294967295", true}};
    for (const auto& row : rows) {
        for (const bool lengthFirst : {true, false}) {
            std::vector<std::string> words{"--mode", "id", "--file", "f.bin"};
            const std::vector<std::string> length{"--id-length", row.length};
            const std::vector<std::string> start{"--start", row.start};
            for (const auto* part :
                 lengthFirst ? std::vector{&length, &start} : std::vector{&start, &length})
                words.insert(words.end(), part->begin(), part->end());
            BatchRequest request;
            std::string error;
            EXPECT_EQ(parseBatchArguments(words, request, error), row.fits)
                << row.length << " " << row.start;
            if (!row.fits) {
                EXPECT_NE(error.find("does not fit in " + std::string(row.length) + " byte"),
                          std::string::npos)
                    << error;
            }
        }
    }
}

}  // namespace
}  // namespace nyra::cli
