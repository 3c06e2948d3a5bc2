// SPDX-License-Identifier: GPL-3.0-or-later
// A gang: one kvq-cli process drives four simulated programmers at once,
// every chip's ID from one series; one programmer is unplugged mid-chip and
// another is fed a bad chip.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "cli_process.h"
#include "detect_command.h"
#include "gang_command.h"
#include "job_command.h"
#include "line_record.h"
#include "serials/serial_store.h"
#include "sim/control_server.h"

namespace nyra::cli {
namespace {

constexpr int kProgrammers = 4;
// One-byte IDs from 216: the series holds exactly 40.
constexpr std::uint64_t kFirstId = 216;
constexpr std::uint64_t kLastId = 255;
constexpr std::size_t kDocumentBytes = 1000;
constexpr int kUnplugged = 2;  // unplugged at its fifth chip
constexpr int kFedBad = 3;     // its third chip is bad

std::string serialOf(int programmer) {
    return std::to_string(100000 + programmer);
}

class GangLine : public CliProcess {
protected:
    std::string kept(int programmer) const { return dir.file("kept" + std::to_string(programmer)); }

    std::string gangConfig() const {
        std::ostringstream conf;
        conf << "programmers=" << kProgrammers << "\nchip=W25X40\nimage=none\ntiming=0\n"
             << "control=" << dir.file("sim.sock") << "\n";
        // A chip stays out long enough for the window's polls to see the socket
        // empty, even with four programmers in one process under a sanitizer.
        for (int p = 1; p <= kProgrammers; ++p) {
            const std::string n = p == 1 ? "" : std::to_string(p);
            conf << "feeder" << n << "=on\nfeeder" << n << ".out=20ms\nfeeder" << n
                 << ".in=1s\nfeeder" << n << ".keep=" << kept(p) << "\n";
        }
        conf << "feeder" << kFedBad << ".bad=1@2\n";
        return dir.write("gang.conf", conf.str());
    }
};

TEST_F(GangLine, FourProgrammersOneSeriesEachChipItsOwnIdWhateverHappensToOne) {
    for (int p = 1; p <= kProgrammers; ++p)
        std::filesystem::create_directories(kept(p));
    const std::string document = randomFile(dir, "fw.bin", kDocumentBytes);
    const std::string url = "sqlite:" + dir.file("serials.db");
    const std::string record = dir.file("record.csv");
    const std::string config = gangConfig();
    const std::vector<std::string> args = {"batch",
                                           "--mode",
                                           "id",
                                           "--file",
                                           document,
                                           "--start",
                                           std::to_string(kFirstId),
                                           "--id-length",
                                           "1",
                                           "--series",
                                           "gang",
                                           "--serials",
                                           url,
                                           "--record",
                                           record,
                                           "--programmers",
                                           "all"};

    // Forty chips take about half a minute, many times that under the sanitizers.
    RunSignal patience;
    patience.killAfterMs = 800000;
    Exit exit;
    std::atomic<bool> finished{false};
    std::thread gang([&] {
        exit = runIn(dir, program, args, config, {}, {}, patience, "-gang");
        finished = true;
    });
    // Pulled out while its fifth chip is being written: its four chips are in
    // the record, and the line held aside is the fifth one's.
    const std::string unplugged = serialOf(kUnplugged);
    const std::string pending = record + "." + unplugged + ".pending";
    const auto fifthHeld = [&] {
        std::set<std::uint64_t> done;
        for (const RecordLine& line : readRecord(record)) {
            if (line.station == unplugged)
                done.insert(line.id);
        }
        std::ifstream held(pending);
        std::string line;
        if (done.size() != 4 || !std::getline(held, line))
            return false;
        const std::size_t first = line.find(',');
        const std::size_t second = line.find(',', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            return false;
        return !done.contains(std::stoull(line.substr(second + 1)));
    };
    bool pulled = false;
    while (!pulled && !finished) {
        if (fifthHeld()) {
            std::string reply, error;
            pulled = sim::sendControlRequest(dir.file("sim.sock"),
                                             "unplug " + std::to_string(kUnplugged), reply, &error);
            EXPECT_EQ(reply, "ok\n") << error;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    gang.join();
    ASSERT_TRUE(pulled) << exit.err;

    // Each programmer's part ended as its own story says; so did the whole.
    EXPECT_EQ(exit.status, kExitGangMixed) << exit.err;
    const std::map<int, int> ended = {{1, kExitSerialStore},
                                      {kUnplugged, kExitNoProgrammer},
                                      {kFedBad, kExitJobFailed},
                                      {4, kExitSerialStore}};
    for (const auto& [p, status] : ended) {
        EXPECT_NE(exit.err.find("programmer " + serialOf(p) + ": status " + std::to_string(status)),
                  std::string::npos)
            << p << ":\n"
            << exit.err;
    }

    // The record: every line names its programmer; no ID passed twice.
    std::map<std::uint64_t, std::string> passedOn;
    std::optional<std::uint64_t> unknownId, failedId;
    for (const RecordLine& line : readRecord(record)) {
        EXPECT_TRUE(line.station >= serialOf(1) && line.station <= serialOf(kProgrammers))
            << line.station;
        if (line.result == "passed") {
            EXPECT_TRUE(passedOn.emplace(line.id, line.station).second) << "ID " << line.id;
        } else if (line.result == "unknown") {
            EXPECT_EQ(line.station, unplugged);
            unknownId = line.id;
        } else {
            EXPECT_EQ(line.station, serialOf(kFedBad));
            failedId = line.id;
        }
    }
    ASSERT_TRUE(unknownId && failedId) << dir.read("record.csv");
    // One line on the terminal for each chip recorded, headed by its programmer.
    std::istringstream out(exit.out);
    std::size_t chipLines = 0;
    for (std::string line; std::getline(out, line);) {
        if (line.find(": chip ") == std::string::npos)
            continue;
        ++chipLines;
        EXPECT_EQ(line.rfind("programmer 10000", 0), 0u) << line;
    }
    EXPECT_EQ(chipLines, readRecord(record).size()) << exit.out;
    EXPECT_FALSE(std::filesystem::exists(pending));

    // Every ID of the series went to exactly one passed chip, except the one
    // whose chip was pulled out mid-write: unknown, never given again. The
    // bad chip's ID went to a later chip.
    EXPECT_EQ(passedOn.size(), kLastId - kFirstId);
    for (std::uint64_t id = kFirstId; id <= kLastId; ++id)
        EXPECT_EQ(passedOn.contains(id), id != *unknownId) << "ID " << id;
    // (It may be the very ID the pulled chip got.)
    EXPECT_TRUE(passedOn.contains(*failedId) || *failedId == *unknownId) << *failedId;
    std::string error;
    const auto store = openSerialStore(url, error);
    ASSERT_TRUE(store) << error;
    for (const IdRecord& r : store->list("gang").value_or(std::vector<IdRecord>{})) {
        EXPECT_EQ(r.state, r.id == *unknownId ? "unknown" : "passed") << "ID " << r.id;
        if (r.id != *unknownId) {
            EXPECT_EQ(r.programmer, passedOn[r.id]) << "ID " << r.id;
        }
    }

    // Each chip taken out of a socket holds the ID recorded for its programmer.
    std::size_t chips = 0;
    for (int p = 1; p <= kProgrammers; ++p) {
        for (const auto& entry : std::filesystem::directory_iterator(kept(p))) {
            std::ifstream chip(entry.path(), std::ios::binary);
            chip.seekg(static_cast<std::streamoff>(kDocumentBytes));
            const auto id = static_cast<std::uint64_t>(chip.get());
            if (passedOn.contains(id)) {
                EXPECT_EQ(passedOn[id], serialOf(p)) << "ID " << id;
                ++chips;
            }
        }
    }
    // The last chip of each part may still be in its socket.
    EXPECT_GE(chips + kProgrammers, passedOn.size());
}

// Ctrl-C stops every programmer of the gang as its stop button would.
TEST_F(GangLine, CtrlCStopsThemAll) {
    const std::string document = randomFile(dir, "fw.bin", kDocumentBytes);
    const std::string config =
        dir.write("two.conf",
                  "programmers=2\nchip=W25X40\nimage=none\ntiming=0\ncontrol=off\nfeeder=on\n"
                  "feeder.in=1s\nfeeder2=on\nfeeder2.in=1s\n");
    RunSignal ctrlC;
    ctrlC.signal = SIGINT;
    ctrlC.killAfterMs = 600000;
    ctrlC.when = [&] {
        const std::string out = dir.read("stdout-two.txt");
        return out.find("programmer 100001: chip 1:") != std::string::npos &&
               out.find("programmer 100002: chip 1:") != std::string::npos;
    };
    const Exit exit = runIn(
        dir, program,
        {"batch", "--mode", "same", "--file", document, "--count", "1000", "--programmers", "all"},
        config, {}, {}, ctrlC, "-two");
    EXPECT_EQ(exit.status, kExitStopped) << exit.err;
    for (const char* serial : {"100001", "100002"})
        EXPECT_NE(exit.err.find("programmer " + std::string(serial) + ": status 130"),
                  std::string::npos)
            << exit.err;
}

}  // namespace
}  // namespace nyra::cli
