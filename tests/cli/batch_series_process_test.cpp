// SPDX-License-Identifier: GPL-3.0-or-later
// Series on the demo production line, stopped with Ctrl-C at random points
// and started again from what kvq-cli says: whatever the timing, no two
// chips leave the line with the same serial number or document, and the
// record holds every chip with its outcome.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cli_process.h"
#include "job_command.h"

namespace nyra::cli {
namespace {

constexpr std::size_t kDocumentBytes = 300;
constexpr std::uint32_t kFillAddress = 0x400;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (const char c : line) {
        if (c == ',')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

class BatchSeries : public CliProcess, public ::testing::WithParamInterface<int> {};

TEST_P(BatchSeries, StoppedAndStartedAgainNoNumberOrDocumentIsGivenTwice) {
    std::mt19937 random(static_cast<unsigned>(GetParam()) * 7919u + 1);
    const int mode = GetParam() % 4;  // id, same, list, combined
    const char* modeName[] = {"id", "same", "list", "combined"};
    const int idLength = 1 << (random() % 3);
    const bool bigEndian = random() % 2 == 1;
    const std::uint32_t increment = 1 + random() % 3;
    std::filesystem::create_directory(dir.file("taken"));
    const std::string line = config(
        "W25X40",
        "feeder=on\nfeeder.out=20ms\nfeeder.in=200ms\nfeeder.keep=" + dir.file("taken") + "\n");
    randomFile(dir, "main.bin", kDocumentBytes, 99);
    std::vector<std::string> documents;
    for (int i = 0; i < 8; ++i) {
        documents.push_back("d" + std::to_string(i) + ".bin");
        randomFile(dir, documents.back(), kDocumentBytes, 1000u + static_cast<unsigned>(i));
    }

    std::uint32_t next = 10;  // the ID, or the count, a new start begins with
    std::size_t nextDocument = 0;
    int passedChips = 0;
    for (int run = 0; run < 8 && passedChips < 6 && nextDocument < documents.size(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::vector<std::string> args{"batch",    "--mode",  modeName[mode],        "--record",
                                      "line.csv", "--steps", "erase,program,verify"};
        if (mode != 2)
            args.insert(args.end(), {"--file", "main.bin"});
        if (mode == 0) {
            args.insert(args.end(), {"--address", std::to_string(kFillAddress), "--start",
                                     std::to_string(next), "--increment", std::to_string(increment),
                                     "--id-length", std::to_string(idLength)});
            if (bigEndian)
                args.emplace_back("--big-endian");
        }
        if (mode == 3)
            args.insert(args.end(), {"--address", std::to_string(kFillAddress)});
        if (mode >= 2)
            args.insert(args.end(), documents.begin() + static_cast<long>(nextDocument),
                        documents.end());
        if (mode <= 1)
            args.insert(args.end(), {"--count", "6"});
        RunSignal signal;
        signal.signal = SIGINT;
        signal.afterMs = 150 + static_cast<int>(random() % 1500);
        const Exit done = runIn(dir, program, args, line, {}, {}, signal, std::to_string(run));
        ASSERT_TRUE(done.status == 0 || done.status == kExitStopped) << done.err;
        const auto record = splitLines(dir.read("line.csv"));
        passedChips = static_cast<int>(std::count_if(record.begin(), record.end(), [](auto& l) {
            return l.find(",passed,") != std::string::npos;
        }));
        if (done.status == 0)
            break;
        const std::string said =
            "the series stopped at " + std::string(mode == 0 ? "ID " : "count ");
        const std::size_t at = done.err.find(said);
        ASSERT_NE(at, std::string::npos) << done.err;
        next = static_cast<std::uint32_t>(std::stoul(done.err.substr(at + said.size())));
        // A list goes on behind the last document a chip got.
        if (mode >= 2 && record.size() > 1) {
            const std::string file = fields(record.back()).at(6);
            for (std::size_t d = 0; d < documents.size(); ++d) {
                if (file.find("d" + std::to_string(d) + ".bin") != std::string::npos)
                    nextDocument = d + 1;
            }
        }
        if (mode == 1)
            ++next;  // same: counts go on, nothing to check on the chip
    }

    // The record: a header, then one line per chip, each number once.
    const auto record = splitLines(dir.read("line.csv"));
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record[0], "time,chip,id,data_checksum,steps,result,file,station");
    std::set<std::string> numbers, recordedDocuments;
    std::set<std::string> passedNumbers;
    for (std::size_t i = 1; i < record.size(); ++i) {
        const auto f = fields(record[i]);
        ASSERT_EQ(f.size(), 8u) << record[i];
        EXPECT_TRUE(f[5] == "passed" || f[5] == "unknown") << record[i];
        if (mode == 0) {
            EXPECT_TRUE(numbers.insert(f[2]).second) << "ID given twice: " << record[i];
        }
        if (mode >= 2) {
            EXPECT_TRUE(recordedDocuments.insert(f[6]).second) << "document twice: " << record[i];
        }
        if (f[5] == "passed")
            passedNumbers.insert(f[2]);
    }

    // The chips that left the line: each its own ID or document, each in the record as passed.
    std::set<std::uint64_t> ids;
    std::set<std::size_t> gotDocuments;
    const std::string main = dir.read("main.bin");
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("taken"))) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string chip{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(chip.size(), 512u * 1024) << entry.path();
        if (mode == 0) {
            EXPECT_EQ(chip.substr(0, kDocumentBytes), main);
            std::uint64_t id = 0;
            for (int b = 0; b < idLength; ++b) {
                const auto byte = static_cast<unsigned char>(chip[kFillAddress + b]);
                id |= std::uint64_t{byte} << (8 * (bigEndian ? idLength - 1 - b : b));
            }
            EXPECT_TRUE(ids.insert(id).second) << "two chips hold ID " << id;
            EXPECT_TRUE(passedNumbers.count(std::to_string(id))) << id << " not recorded as passed";
        } else if (mode >= 2) {
            const std::size_t at = mode == 3 ? kFillAddress : 0;
            std::size_t which = documents.size();
            for (std::size_t d = 0; d < documents.size(); ++d) {
                if (chip.substr(at, kDocumentBytes) == dir.read(documents[d]))
                    which = d;
            }
            ASSERT_LT(which, documents.size()) << entry.path() << " holds no document";
            EXPECT_TRUE(gotDocuments.insert(which).second) << "two chips got d" << which;
        } else {
            EXPECT_EQ(chip.substr(0, kDocumentBytes), main);
        }
    }
    EXPECT_GE(passedChips, 1);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BatchSeries, ::testing::Range(0, 20));

}  // namespace
}  // namespace nyra::cli
