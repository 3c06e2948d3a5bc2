// SPDX-License-Identifier: GPL-3.0-or-later
// Whole serial-number series on a production line: the simulated feeder
// swaps each chip that passed, and the batch window runs the series by itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "batch/batch_window.h"
#include "batch/window_series.h"
#include "serials/sqlite_connection.h"
#include "support/temp_dir.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace batch_ids;

class BatchLineTest : public ops_test::ChipJobTest {
protected:
    // Time passes on the line as it does in the world, not only when the
    // program or the device waits: the loop that asks whether the chip is
    // gone yet sleeps nowhere.
    void passTime() {
        while (!quit_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            clock.advance(1);
        }
    }
    void SetUp() override {
        ChipJobTest::SetUp();
        lineClock_ = std::thread([this] { passTime(); });
        feeder("on", "1");
        feeder("out", "50ms");
        // Far longer than one identification of an empty socket, even when a
        // loaded machine lets the line's clock run ahead of the program: the
        // program sees every chip leave.
        feeder("in", "5s");
        window().setMode(2);
        panel().setText(kMainDocument, dir.write("fw.bin", std::string(1000, '\x33')));
        panel().setText(kFillAddress, "1000");
        panel().setText(kIncrement, "3");
        panel().setCurrentIndex(kFormat, 1);  // big-endian
    }
    void TearDown() override {
        window().stop();
        state.worker().waitUntilIdle();
        quit_.store(true);
        lineClock_.join();
    }
    BatchWindow& window() { return state.batchWindow(); }
    Panel& panel() { return window().panel(); }
    void feeder(const char* name, const char* value) {
        std::string error;
        ASSERT_TRUE(simulator.setFeederSetting(0, name, value, &error)) << error;
    }
    // Until the feeder took n chips out or the series ended.
    void waitForTakenChips(std::size_t n) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (simulator.takenChips(0).size() < n && window().running() &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    void waitUntilStopped() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (window().running() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        state.worker().waitUntilIdle();
        window().waitUntilQuiet();
    }
    void endSeries() {
        window().stop();
        state.worker().waitUntilIdle();
        window().waitUntilQuiet();
    }
    static std::uint32_t idOf(const std::vector<std::uint8_t>& chip) {
        return (std::uint32_t{chip.at(1000)} << 24) | (std::uint32_t{chip[1001]} << 16) |
               (std::uint32_t{chip[1002]} << 8) | chip[1003];
    }
    // The series' copies of the document beside it.
    std::vector<std::string> temporaryFiles() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.folder())) {
            if (entry.path().filename().string().ends_with(".tmp~"))
                found.push_back(entry.path().filename().string());
        }
        return found;
    }
    // The chip holds the document, its ID at 1000 and nothing else.
    static void expectProgrammed(const std::vector<std::uint8_t>& chip, std::uint32_t id) {
        ASSERT_EQ(chip.size(), 512u * 1024);
        EXPECT_EQ(std::count(chip.begin(), chip.begin() + 1000, 0x33), 1000);
        EXPECT_EQ(idOf(chip), id);
        EXPECT_EQ(std::count(chip.begin() + 1004, chip.end(), 0xFF),
                  static_cast<std::ptrdiff_t>(chip.size() - 1004));
    }

private:
    std::atomic<bool> quit_{false};
    std::thread lineClock_;
};

TEST_F(BatchLineTest, TwentyChipsEachGetTheirOwnSerialNumber) {
    feeder("empty", "1@19");  // the line holds twenty chips
    panel().setText(kStartId, "100");
    window().start();
    ASSERT_TRUE(window().running());
    waitForTakenChips(20);
    const auto taken = simulator.takenChips(0);
    ASSERT_EQ(taken.size(), 20u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        expectProgrammed(taken[i].contents, 100 + 3 * static_cast<std::uint32_t>(i));
    }
    // The socket is empty: the series waits for the next chip until stopped.
    EXPECT_TRUE(window().running());
    // The window names the user's document, not the series' copy of it.
    const std::string title = state.panel().text(ids::kWindowTitle);
    EXPECT_NE(title.find("fw.bin"), std::string::npos) << title;
    EXPECT_EQ(title.find(".tmp~"), std::string::npos) << title;
    EXPECT_EQ(temporaryFiles().size(), 1u) << "one copy, rewritten for each chip";
    EXPECT_EQ(window().count(), 160u);
    EXPECT_EQ(panel().text(kCount), "160");
    EXPECT_EQ(panel().text(kStartId), "100");
    endSeries();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(window().count(), 160u);
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(BatchLineTest, AFailingChipStopsOnItsIdAndTheNextStartRepeatsIt) {
    feeder("bad", "1@4");  // the sixth chip has a stuck bit
    panel().setText(kStartId, "100");
    window().start();
    waitUntilStopped();
    EXPECT_FALSE(window().running()) << "stopped by the failed chip";
    ASSERT_EQ(simulator.takenChips(0).size(), 5u);
    EXPECT_EQ(window().count(), 115u) << "the failed chip's ID is not used up";
    const auto bad = simulator.chipContents(0);
    EXPECT_EQ(bad[1000], 0x01) << "the stuck bit";
    EXPECT_TRUE(temporaryFiles().empty()) << "the series ended with the failed chip";

    // The operator replaces the bad chip and starts again: same ID.
    ASSERT_TRUE(simulator.swapChip(0, *simulator.chip(0)));
    feeder("empty", "1");
    window().start();
    waitForTakenChips(6);
    endSeries();
    EXPECT_TRUE(temporaryFiles().empty());
    const auto taken = simulator.takenChips(0);
    ASSERT_EQ(taken.size(), 6u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        expectProgrammed(taken[i].contents, 100 + 3 * static_cast<std::uint32_t>(i));
    }
    EXPECT_EQ(window().count(), 118u);
}

TEST_F(BatchLineTest, AChipPulledMidCycleStopsTheSeriesWithoutUsingItsId) {
    panel().setText(kStartId, "7");
    std::string error;
    ASSERT_TRUE(simulator.setFault(0, "pull_chip_after", "300", &error)) << error;
    window().start();
    waitUntilStopped();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(window().count(), 7u);
    EXPECT_FALSE(simulator.chip(0));
    EXPECT_TRUE(simulator.takenChips(0).empty());
    // No done byte from a socket the chip left: the program step fails itself.
    EXPECT_EQ(status().rfind("Programming failed: the programmer did not confirm", 0), 0u)
        << status();
}

// Once a chip's program step began its ID is used up, whatever ends the
// series then: a chip never shares its number with another.
TEST_F(BatchLineTest, AChipStoppedOrUnpluggedOnceWrittenUsesItsIdUp) {
    std::mutex mutex;
    std::vector<std::pair<std::uint8_t, std::uint32_t>> told;
    window().chipDone = [&](const BatchChipResult& chip) {
        std::lock_guard lock(mutex);
        told.emplace_back(chip.code, chip.count);
        return true;
    };
    // Stop pressed while the second chip is being written: it finishes,
    // passes, leaves the socket and is counted.
    int writing = 0;
    window().chipStarting = [&](const BatchChipResult&) {
        if (++writing == 2)
            window().stop();
        return true;
    };
    panel().setText(kStartId, "100");
    window().start();
    waitForTakenChips(2);
    waitUntilStopped();
    EXPECT_EQ(window().count(), 106u);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(told, (std::vector<std::pair<std::uint8_t, std::uint32_t>>{
                            {batch_result::kPassed, 100}, {batch_result::kPassed, 103}}));
    }

    // Unplugged in the middle of the next chip's program step: its outcome is
    // unknown, it may hold 106, so 106 is given to nobody else.
    window().chipStarting = [&](const BatchChipResult&) {
        EXPECT_TRUE(simulator.setFault(0, "unplug_after", "500"));
        return true;
    };
    // The feeder's next chip, seen as the program asks the socket.
    while (!simulator.chip(0)) {
        state.windowMessage(ids::kMsgDeviceChange, 0);
        state.worker().waitUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    window().start();
    waitUntilStopped();
    EXPECT_EQ(window().count(), 109u);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(told.size(), 3u);
        EXPECT_EQ(told[2], std::make_pair(batch_result::kUnknown, 106u)) << status();
    }

    // Plugged back in: the chip still in the socket gets 109.
    window().chipStarting = nullptr;
    ASSERT_TRUE(simulator.plug(0));
    state.windowMessage(ids::kMsgDeviceChange, 0);
    state.worker().waitUntilIdle();
    window().start();
    waitForTakenChips(3);
    endSeries();
    window().chipDone = nullptr;
    const auto taken = simulator.takenChips(0);
    ASSERT_GE(taken.size(), 3u);
    expectProgrammed(taken[0].contents, 100);
    expectProgrammed(taken[1].contents, 103);
    for (std::size_t i = 2; i < taken.size(); ++i)
        expectProgrammed(taken[i].contents, 109 + 3 * static_cast<std::uint32_t>(i - 2));
}

TEST_F(BatchLineTest, AProgrammerLostBetweenTwoChipsEndsTheSeries) {
    std::atomic<int> reported{0};
    window().chipDone = [&](const BatchChipResult&) {
        ++reported;
        return true;
    };
    feeder("empty", "1");  // one chip on the line: the series then waits
    panel().setText(kStartId, "100");
    window().start();
    waitForTakenChips(1);
    ASSERT_TRUE(window().running());
    ASSERT_TRUE(simulator.unplug(0));
    waitUntilStopped();
    window().chipDone = nullptr;
    EXPECT_FALSE(window().running()) << "no wait for ever on a programmer that left";
    EXPECT_TRUE(window().programmerLost());
    EXPECT_EQ(reported.load(), 1) << "no chip's outcome is told for the lost programmer";
    EXPECT_EQ(window().count(), 103u);

    // Back, with a chip: the next series starts afresh at the next ID.
    ASSERT_TRUE(simulator.plug(0));
    ASSERT_TRUE(simulator.insertChip(0, *sim::parseChipDescription("W25X40", nullptr)));
    state.windowMessage(ids::kMsgDeviceChange, 0);
    state.worker().waitUntilIdle();
    window().start();
    EXPECT_FALSE(window().programmerLost());
    waitForTakenChips(2);
    endSeries();
    const auto taken = simulator.takenChips(0);
    ASSERT_GE(taken.size(), 2u);
    for (std::size_t i = 1; i < taken.size(); ++i)
        expectProgrammed(taken[i].contents, 100 + 3 * static_cast<std::uint32_t>(i));
}

// Mode 2 from a series in a store: each chip's ID reserved there, the count
// field showing the next one, a failed chip's ID back for the next chip, and
// the series going on where another station left it.
TEST_F(BatchLineTest, ASeriesInTheStoreGivesTheIdsAndOutlivesTheWindowsCount) {
    const std::string url = "sqlite:" + dir.file("serials.db");
    feeder("bad", "1@3");  // the fifth chip has a stuck bit
    panel().setText(kStartId, "40");
    WindowSeries& series = state.windowSeries();
    ASSERT_TRUE(series.choose({url, "line", "bench-1"}));
    EXPECT_EQ(panel().text(kCount), "40");
    window().start();
    waitUntilStopped();
    const auto taken = simulator.takenChips(0);
    ASSERT_EQ(taken.size(), 4u);
    for (std::size_t i = 0; i < taken.size(); ++i)
        expectProgrammed(taken[i].contents, 40 + 3 * static_cast<std::uint32_t>(i));

    // Another station continues the series meanwhile: it gets the failed ID.
    std::string error;
    auto other = openSerialStore(url, error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(other->reserve("line", {"bench-2", "", ""}, "t"), 52u);
    EXPECT_EQ(other->reserve("line", {"bench-2", "", ""}, "t"), 55u);
    const auto records = other->list("line").value_or(std::vector<IdRecord>{});
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].state, "passed");
    EXPECT_EQ(records[0].station, "bench-1");
    EXPECT_EQ(records[0].chip, state.selection().selectedDevice());
    EXPECT_EQ(records[4].station, "bench-2") << "ID 52 failed here and went on";

    // The operator replaces the bad chip: the window's next start takes the next new ID.
    ASSERT_TRUE(simulator.swapChip(0, *simulator.chip(0)));
    feeder("empty", "1");
    panel().setText(kFillAddress, "2000");
    panel().setText(kIncrement, "7");
    ASSERT_TRUE(series.choose({url, "line", "bench-1"}));
    EXPECT_EQ(panel().text(kFillAddress), "1000") << "the series' own fill address";
    EXPECT_EQ(panel().text(kIncrement), "3");
    EXPECT_EQ(panel().text(kCount), "58");
    EXPECT_EQ(panel().text(kStartId), "40") << "the stored settings, whatever the window had";
    window().start();
    waitForTakenChips(5);
    endSeries();
    const auto after = simulator.takenChips(0);
    ASSERT_GE(after.size(), 5u);
    expectProgrammed(after[4].contents, 58);

    // A document other than the series' own is refused with the reason.
    dir.write("fw.bin", std::string(1000, '\x44'));
    EXPECT_FALSE(series.choose({url, "line", "bench-1"}));
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_NE(frontend.boxes().back().text.find("checksum"), std::string::npos);
    EXPECT_TRUE(series.choice().series.empty()) << "refused: the window counts by itself";
    // A series is bound to its document: none chosen, none taken.
    panel().setText(kMainDocument, "");
    EXPECT_FALSE(series.choose({url, "line", "bench-1"}));
    EXPECT_NE(frontend.boxes().back().text.find("main document"), std::string::npos);
    // No series: the window counts by itself again.
    EXPECT_TRUE(series.choose({}));
    EXPECT_FALSE(window().nextSerial);
}

// A store on disk holding the series "line".
std::unique_ptr<SerialStore> lineStore(const TempDir& dir) {
    std::string error;
    auto store = openSerialStore("sqlite:" + dir.file("serials.db"), error);
    EXPECT_TRUE(store) << error;
    if (store && !store->openSeries("line", {}))
        return nullptr;
    return store;
}

// The store loses the reservation behind the station's back (an operator's
// hand, a lease run out): the chip's outcome and the closing say so.
TEST(SerialFeedTest, AReservationTheStoreNoLongerHoldsIsAFailureWithItsReason) {
    TempDir dir;
    auto store = lineStore(dir);
    ASSERT_TRUE(store);
    SystemClock clock;
    SerialFeed feed(*store, "line", {"A", "", ""}, clock);
    const auto dropReservations = [&] {
        std::string reason;
        auto db = SqliteConnection::open(dir.file("serials.db"), reason);
        ASSERT_TRUE(db->run("UPDATE nyra_serials SET station = 'B'", {}));
    };
    ASSERT_EQ(feed.next(), 0u);
    EXPECT_EQ(feed.next(), 0u) << "one chip at a time";
    dropReservations();
    EXPECT_FALSE(feed.ended(0, batch_result::kPassed, "W25X40", "0"));
    EXPECT_NE(feed.error().find("no longer reserved"), std::string::npos) << feed.error();
    ASSERT_EQ(feed.next(), 1u);
    dropReservations();
    EXPECT_FALSE(feed.close());
    EXPECT_TRUE(feed.close()) << "nothing left to give back";
}

// What the store keeps of a chip, by how far it got and how it ended: the
// state listed for its ID and whether the next chip of any station gets it.
TEST(SerialFeedTest, EachWayAChipEndsLeavesItsIdAsTheRulesSay) {
    enum class End { Passed, Failed, Unknown, SeriesClosed };
    struct Row {
        const char* name;
        std::optional<std::uint32_t> writing;  // the ID whose program step began
        End end;
        const char* state;  // "" when the ID is not listed (never given out)
        bool givenAgain;
    };
    const Row rows[] = {
        {"passed", 0, End::Passed, "passed", false},
        {"failed before its program step", std::nullopt, End::Failed, "", true},
        {"rejected once written", 0, End::Failed, "failed", true},
        {"stopped or unplugged once written", 0, End::Unknown, "unknown", false},
        {"series ended before the chip came", std::nullopt, End::SeriesClosed, "", true},
        {"series ended while the chip was written", 0, End::SeriesClosed, "unknown", false},
        {"another ID's program step began", 9, End::SeriesClosed, "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        auto store = lineStore(dir);
        ASSERT_TRUE(store);
        SystemClock clock;
        SerialFeed feed(*store, "line", {"A", "100001", "W25X40"}, clock);
        ASSERT_EQ(feed.next(), 0u);
        if (row.writing)
            feed.writing(*row.writing);
        switch (row.end) {
            case End::Passed:
                ASSERT_TRUE(feed.ended(0, batch_result::kPassed, "W25X40", "00001234"));
                break;
            case End::Failed:
                ASSERT_TRUE(feed.ended(0, batch_result::kNoData, "W25X40", ""));
                break;
            case End::Unknown:
                ASSERT_TRUE(feed.ended(0, batch_result::kUnknown, "W25X40", ""));
                break;
            case End::SeriesClosed:
                ASSERT_TRUE(feed.close());
                break;
        }
        const auto listed = store->list("line").value_or(std::vector<IdRecord>{});
        EXPECT_EQ(listed.empty() ? "" : listed.front().state, row.state);
        if (!listed.empty()) {
            EXPECT_EQ(listed.front().station, "A");
            EXPECT_EQ(listed.front().programmer, "100001");
        }
        EXPECT_EQ(store->reserve("line", {"B", "", ""}, "t") == 0u, row.givenAgain);
    }
}

}  // namespace
}  // namespace nyra
