// SPDX-License-Identifier: GPL-3.0-or-later
// A production line: several stations, each a kvq-cli process with its own
// simulated programmer and feeder, take their chips' IDs from one series in
// a serial-number store, on SQLite and on a real PostgreSQL server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "batch_command.h"
#include "cli_process.h"
#include "job_command.h"
#include "line_record.h"
#include "serials/serial_store.h"
#include "support/postgres_server.h"

namespace nyra::cli {
namespace {

constexpr int kStations = 4;
// One-byte IDs from 156: the series holds exactly 100 IDs.
constexpr std::uint64_t kFirstId = 156;
constexpr std::uint64_t kLastId = 255;
constexpr std::size_t kDocumentBytes = 1000;  // the ID goes right behind it

class SerialLine : public CliProcess, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        CliProcess::SetUp();
        if (IsSkipped())
            return;
        if (std::string(GetParam()) == "postgresql") {
            server = std::make_unique<nyra::testing::PostgresServer>();
            ASSERT_TRUE(server->running()) << server->error();
            url = server->url();
        } else {
            url = "sqlite:" + dir.file("serials.db");
        }
    }

    std::string stationFolder(int k) const { return dir.file("S" + std::to_string(k)); }

    // A station's simulator: a production line whose fifth chip fed is bad,
    // the chips taken out kept in its folder; at realistic timing when slow.
    // A chip stays out a second: on a loaded machine a quicker swap can fall
    // between two of the window's polls, which then never see the socket empty.
    std::string stationConfig(int k, bool slow) const {
        const std::string path = stationFolder(k) + (slow ? "/slow.conf" : "/sim.conf");
        // Each station's programmer has its own serial number, as on a real line.
        std::ofstream(path) << "programmers=1\nchip=W25X40\nimage=none\ncontrol=off\n"
                            << "serial=" << 200001 + k << "\n"
                            << (slow ? "" : "timing=0\n")
                            << "feeder=on\nfeeder.out=20ms\nfeeder.in=1s\nfeeder.bad=1@4\n"
                            << "feeder.keep=" << stationFolder(k) << "/kept\n";
        return path;
    }

    std::vector<std::string> batchArgs(int k) const {
        const std::string folder = stationFolder(k);
        return {"batch",
                "--mode",
                "id",
                "--file",
                folder + "/fw.bin",
                "--start",
                std::to_string(kFirstId),
                "--id-length",
                "1",
                "--series",
                "line",
                "--serials",
                url,
                "--station",
                "S" + std::to_string(k),
                "--record",
                folder + "/record.csv"};
    }

    std::unique_ptr<nyra::testing::PostgresServer> server;
    std::string url;
};

TEST_P(SerialLine, FourStationsOneSeriesNoIdOnTwoChipsWhateverHappens) {
    for (int k = 0; k < kStations; ++k) {
        std::filesystem::create_directories(stationFolder(k) + "/kept");
        randomFile(dir, "S" + std::to_string(k) + "/fw.bin", kDocumentBytes);
    }
    std::mutex mutex;
    std::vector<std::string> problems;
    std::string afterKill;
    std::vector<std::thread> stations;
    for (int k = 0; k < kStations; ++k) {
        stations.emplace_back([&, k] {
            for (int run = 0; run < 40; ++run) {
                // Station 0 dies (SIGKILL) in its first run while a chip is being written.
                const bool killed = k == 0 && run == 0;
                RunSignal signal;
                if (killed) {
                    signal.signal = SIGKILL;
                    signal.when = [&] {
                        return std::filesystem::exists(stationFolder(0) + "/record.csv.pending");
                    };
                }
                const Exit exit =
                    runIn(dir, program, batchArgs(k), stationConfig(k, killed), {}, {}, signal,
                          "-S" + std::to_string(k) + "-" + std::to_string(run));
                std::lock_guard lock(mutex);
                if (k == 0 && run == 1)
                    afterKill = exit.err;
                if (killed)
                    continue;
                if (exit.status == kExitSerialStore) {
                    if (exit.err.find("used up") == std::string::npos)
                        problems.push_back("S" + std::to_string(k) + ": " + exit.err);
                    return;
                }
                if (exit.status != kExitJobFailed && exit.status != 0)
                    problems.push_back("S" + std::to_string(k) + " run " + std::to_string(run) +
                                       " exit " + std::to_string(exit.status) + ": " + exit.err);
            }
            std::lock_guard lock(mutex);
            problems.push_back("S" + std::to_string(k) + " never saw the series used up");
        });
    }
    for (auto& station : stations)
        station.join();
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

    // What the stations recorded.
    std::multiset<std::uint64_t> passed;
    std::set<std::uint64_t> failed, reusedAfterFailure;
    for (int k = 0; k < kStations; ++k) {
        for (const RecordLine& line : readRecord(stationFolder(k) + "/record.csv")) {
            if (line.result == "passed") {
                passed.insert(line.id);
                if (failed.contains(line.id))
                    reusedAfterFailure.insert(line.id);
            } else if (line.result == "failed") {
                failed.insert(line.id);
            }
        }
    }
    const std::set<std::uint64_t> passedOnce(passed.begin(), passed.end());
    EXPECT_EQ(passedOnce.size(), passed.size()) << "an ID on two chips";
    EXPECT_FALSE(failed.empty());

    // What the store holds agrees, and every ID of the series is accounted for.
    std::string error;
    const auto store = openSerialStore(url, error);
    ASSERT_TRUE(store) << error;
    std::map<std::uint64_t, std::string> states;
    for (const IdRecord& r : store->list("line").value_or(std::vector<IdRecord>{}))
        states[r.id] = r.state;
    std::set<std::uint64_t> passedInStore;
    for (const auto& [id, state] : states) {
        EXPECT_GE(id, kFirstId);
        EXPECT_LE(id, kLastId);
        if (state == "passed")
            passedInStore.insert(id);
        EXPECT_NE(state, "reserved") << "ID " << id << " left reserved";
    }
    EXPECT_EQ(passedInStore, passedOnce);
    // Failed IDs went to later chips (of any station).
    for (const std::uint64_t id : failed) {
        if (states[id] == "passed")
            reusedAfterFailure.insert(id);
    }
    EXPECT_FALSE(reusedAfterFailure.empty());

    // The killed station's ID: unknown, said so on its next start, on no other chip.
    const std::string said = "was reserved by this station's last run";
    const std::size_t at = afterKill.find(said);
    ASSERT_NE(at, std::string::npos) << afterKill;
    const std::size_t idAt = afterKill.rfind("ID ", at);
    const std::uint64_t killedId = std::stoull(afterKill.substr(idAt + 3));
    EXPECT_EQ(states[killedId], "unknown");
    EXPECT_FALSE(passed.contains(killedId));

    // Every chip taken out of a socket holds its own ID, and no two the same.
    std::multiset<std::uint64_t> onChips;
    for (int k = 0; k < kStations; ++k) {
        for (const auto& entry : std::filesystem::directory_iterator(stationFolder(k) + "/kept")) {
            std::ifstream chip(entry.path(), std::ios::binary);
            chip.seekg(static_cast<std::streamoff>(kDocumentBytes));
            const int id = chip.get();
            onChips.insert(static_cast<std::uint64_t>(id));
        }
    }
    EXPECT_EQ(std::set<std::uint64_t>(onChips.begin(), onChips.end()).size(), onChips.size());
    for (const std::uint64_t id : onChips)
        EXPECT_TRUE(passedOnce.contains(id)) << "chip with ID " << id << " not recorded passed";
    // The last chip of each run may still be in its socket when the run ends.
    EXPECT_GE(onChips.size() + 2 * kStations, passedOnce.size());
    EXPECT_GE(passedOnce.size(), 80u);
}

TEST_P(SerialLine, AStoreThatGoesAwayStopsTheSeriesBeforeTheNextChip) {
    if (!server)
        GTEST_SKIP() << "a SQLite file does not go away";
    std::filesystem::create_directories(stationFolder(0) + "/kept");
    randomFile(dir, "S0/fw.bin", kDocumentBytes);
    RunSignal signal;
    signal.signal = SIGCONT;  // harmless: what counts is the server stopped meanwhile
    signal.when = [&] {
        if (readRecord(stationFolder(0) + "/record.csv").empty())
            return false;
        return server->stop();
    };
    const Exit stopped =
        runIn(dir, program, batchArgs(0), stationConfig(0, false), {}, {}, signal, "-stopped");
    EXPECT_EQ(stopped.status, kExitSerialStore) << stopped.err;
    EXPECT_NE(stopped.err.find("the series stopped before the next chip"), std::string::npos)
        << stopped.err;
    EXPECT_EQ(stopped.err.find("postgresql://nyra@127.0.0.1"), std::string::npos)
        << "no URL in the reason";
    const auto before = readRecord(stationFolder(0) + "/record.csv");

    ASSERT_TRUE(server->start()) << server->error();
    std::vector<std::string> again = batchArgs(0);
    again.insert(again.end(), {"--count", "1"});
    const Exit resumed = runIn(dir, program, again, stationConfig(0, false), {}, {}, {}, "-again");
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    const auto after = readRecord(stationFolder(0) + "/record.csv");
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.back().result, "passed");
    for (const RecordLine& line : before) {
        if (line.result == "passed") {
            EXPECT_NE(line.id, after.back().id) << "an ID given twice";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, SerialLine, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace nyra::cli
