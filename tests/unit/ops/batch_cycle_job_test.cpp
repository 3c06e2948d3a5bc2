// SPDX-License-Identifier: GPL-3.0-or-later
// Job 33 through the worker on the simulated programmer: the steps the batch
// switches choose, the results posted to the batch window, and the wait for
// the next chip.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <mutex>

#include "app/file_access.h"
#include "ops/batch_cycle_job.h"
#include "ops/job_texts.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;

// The batch window's side, recorded. onQuery runs at each running query, so
// a test can take the chip out and put one in at a given point of the wait.
class RecordingPort : public BatchPort {
public:
    std::string currentBatchFile() const override {
        std::lock_guard lock(mutex_);
        return file;
    }
    std::string currentBatchDocument() const override {
        std::lock_guard lock(mutex_);
        return document;
    }
    bool seriesRunning() const override {
        std::function<void(int)> hook;
        int n;
        {
            std::lock_guard lock(mutex_);
            n = ++queries_;
            hook = onQuery;
        }
        if (hook)
            hook(n);
        std::lock_guard lock(mutex_);
        return running;
    }
    bool chipWriting() override {
        std::lock_guard lock(mutex_);
        ++writings_;
        return allowWriting;
    }
    int writings() const {
        std::lock_guard lock(mutex_);
        return writings_;
    }
    void postResult(std::uint8_t code) override {
        std::lock_guard lock(mutex_);
        results_.push_back(code);
    }
    std::vector<std::uint8_t> results() const {
        std::lock_guard lock(mutex_);
        return results_;
    }
    int queries() const {
        std::lock_guard lock(mutex_);
        return queries_;
    }
    void setRunning(bool on) {
        std::lock_guard lock(mutex_);
        running = on;
    }

    std::string file;
    std::string document;
    bool running = false;
    bool allowWriting = true;
    std::function<void(int)> onQuery;

private:
    mutable std::mutex mutex_;
    mutable int queries_ = 0;
    int writings_ = 0;
    std::vector<std::uint8_t> results_;
};

using Results = std::vector<std::uint8_t>;

class BatchCycleTest : public ops_test::ChipJobTest {
protected:
    void SetUp() override {
        ChipJobTest::SetUp();
        state.setBatchPort(&port);
    }
    void TearDown() override {
        state.worker().waitUntilIdle();
        state.setBatchPort(nullptr);
    }
    void cycle(std::uint32_t parameter = 0) {
        state.windowMessage(kMsgBatchRunRequest, parameter);
        state.worker().waitUntilIdle();
    }
    void switches(bool erase, bool program, bool verify) {
        const std::pair<int, bool> wanted[] = {
            {kCmdBatchErase, erase}, {kCmdBatchProgram, program}, {kCmdBatchVerify, verify}};
        for (const auto& [id, on] : wanted) {
            if (state.panel().menuChecked(id) != on)
                state.command(id);
            ASSERT_EQ(state.panel().menuChecked(id), on);
        }
    }
    std::size_t pauses() { return framesOf(cmd::kBetweenSteps).size(); }
    // The states the programmer was told, in order.
    std::vector<std::uint8_t> states() {
        std::vector<std::uint8_t> out;
        for (const auto& frame : framesOf(cmd::kStateIndication))
            out.push_back(frame[13]);
        return out;
    }

    RecordingPort port;
};

TEST_F(BatchCycleTest, AllStepsProgramTheChipAndPostPassedThenEnded) {
    const auto bytes = ops_test::randomBytes(4096, 1);
    loadData(bytes);
    switches(true, true, true);
    cycle();
    EXPECT_EQ(port.results(), (Results{batch_result::kPassed, batch_result::kCycleEnded}));
    const auto chipBytes = chip();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), chipBytes.begin()));
    EXPECT_EQ(status().rfind("Done erase program verify all OK,", 0), 0u) << status();
    EXPECT_EQ(pauses(), 1u) << "between erase and program only";
    EXPECT_EQ(frontend.sounds().back(), state.finishSoundPath());
    EXPECT_TRUE(frontend.beeps().empty());
    // Its own "succeeded", then the worker's after a chip that passed.
    const auto told = states();
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told[told.size() - 1], state::kSucceeded);
    EXPECT_EQ(told[told.size() - 2], state::kSucceeded);
    // The log starts afresh with the cycle: the load's line is gone, the
    // cycle's own line of the data file comes first.
    const std::string log = state.log().text();
    EXPECT_EQ(log.find("data.bin"), log.rfind("data.bin")) << log;
    EXPECT_LT(log.find("data.bin"), log.find("W25X40")) << log;
}

TEST_F(BatchCycleTest, OnlyTheFirstStepThatRunsMakesTheStartChecks) {
    loadData(ops_test::randomBytes(128, 9));
    // Each identification asks for the adapter once; the socket probes around each step do not.
    const auto identitiesOf = [&](bool e, bool p, bool v) {
        switches(e, p, v);
        const auto before = framesOf(cmd::kAdapterQuery).size();
        cycle();
        return framesOf(cmd::kAdapterQuery).size() - before;
    };
    const auto first = identitiesOf(true, false, false);
    EXPECT_GT(first, 0u);
    EXPECT_EQ(identitiesOf(true, true, true), first);
    EXPECT_EQ(identitiesOf(false, true, false), first);
    EXPECT_EQ(identitiesOf(false, true, true), first);
}

TEST_F(BatchCycleTest, WithEveryStepOffOnlyTheSummaryIsShown) {
    loadData(ops_test::randomBytes(64, 2));
    switches(false, false, false);
    cycle();
    EXPECT_EQ(port.results(), (Results{batch_result::kPassed, batch_result::kCycleEnded}));
    EXPECT_EQ(status(), "Done all OK,0:0");
    EXPECT_TRUE(framesOf(cmd::kErase).empty());
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());
}

TEST_F(BatchCycleTest, ThePauseFollowsEraseAndAloneVerifyMakesItsOwnChecks) {
    const auto bytes = ops_test::randomBytes(256, 3);
    loadData(bytes);
    // Erase and verify: the pause goes before verify, and a blank chip fails it.
    switches(true, false, true);
    cycle();
    EXPECT_EQ(pauses(), 1u);
    EXPECT_EQ(port.results(), (Results{batch_result::kCycleEnded}));

    // Program and verify: never a pause between them.
    switches(false, true, true);
    cycle();
    EXPECT_EQ(pauses(), 1u);
    // Verify alone is direct: it identifies the chip first (auto-identify on).
    switches(false, false, true);
    const auto identities = framesOf(cmd::kReadIdentity).size();
    cycle();
    EXPECT_GT(framesOf(cmd::kReadIdentity).size(), identities);
    EXPECT_EQ(port.results().back(), batch_result::kCycleEnded);
    EXPECT_EQ(port.results()[port.results().size() - 2], batch_result::kPassed);
}

TEST_F(BatchCycleTest, RefusedCyclesPostTheirReason) {
    // No data.
    cycle();
    EXPECT_EQ(port.results(), (Results{batch_result::kNoData}));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "No data!");

    // A batch file asked for that is not there.
    port.file = dir.folder() + "/missing.bin";
    frontend.clearRecord();
    cycle(kBatchLoadFile);
    EXPECT_EQ(port.results().back(), batch_result::kNoData);
    EXPECT_EQ(port.results().size(), 2u);
    // Which file, and why.
    const std::string missing =
        context().text(itext(25)) + " " + port.file + ": " + fileErrorText(ENOENT);
    EXPECT_EQ(status(), missing);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, missing);

    cycle();
    EXPECT_EQ(status(), "No data!");
    EXPECT_EQ(states().back(), state::kFailed);

    // Blocked.
    loadData(ops_test::randomBytes(16, 4));
    state.flags().programmerBlocked = true;
    cycle();
    EXPECT_EQ(port.results().back(), batch_result::kBlocked);
    EXPECT_EQ(status(), "blocked");
    EXPECT_TRUE(framesOf(cmd::kErase).empty());
    // The programmer is told the cycle failed, never that it succeeded.
    EXPECT_EQ(states().back(), state::kFailed);

    // A file longer than the 512 KiB chip: refused before the erase, not cut on each chip.
    state.flags().programmerBlocked = false;
    port.file = dir.write("long.bin", std::string(512 * 1024 + 1, 'L'));
    switches(true, true, true);
    frontend.clearRecord();
    cycle(kBatchLoadFile);
    EXPECT_EQ(port.results().back(), batch_result::kNoData);
    EXPECT_TRUE(framesOf(cmd::kErase).empty());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text,
              imageLargerThanChipText(context().texts, port.file, 512 * 1024 + 1, 512 * 1024));
}

TEST_F(BatchCycleTest, AChipWhoseIdentificationFailedIsNeitherErasedNorProgrammed) {
    loadData(ops_test::randomBytes(64, 8));
    switches(true, true, true);
    // An ID the catalogue does not hold, and stale bytes read as an ID after a stop, look alike.
    ASSERT_TRUE(simulator.swapChip(
        0, *sim::parseChipDescription("spi-flash:size=512K,id=C84013,rems=00C812", nullptr)));
    const auto before = chip();
    cycle();
    EXPECT_EQ(port.results(), (Results{batch_result::kCycleEnded}));
    EXPECT_TRUE(framesOf(cmd::kErase).empty());
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());
    EXPECT_EQ(chip(), before);
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);

    // A family's state code is an identification: an EEPROM of the series is written.
    useChip("AT24C02", "24C02");
    state.command(kCmdAutoIdentify);
    ASSERT_TRUE(state.autoIdentifyOn());
    cycle();
    EXPECT_EQ(port.results().back(), batch_result::kCycleEnded);
    EXPECT_FALSE(framesOf(cmd::kProgramStart).empty());
}

TEST_F(BatchCycleTest, TheBatchFileIsLoadedFirstWhenAskedFor) {
    loadData(ops_test::randomBytes(16, 5));
    const auto bytes = ops_test::randomBytes(1000, 6);
    port.file = dir.write("next.bin", std::string(bytes.begin(), bytes.end()));
    switches(false, true, true);
    cycle(kBatchLoadFile);
    EXPECT_EQ(port.results(), (Results{batch_result::kPassed, batch_result::kCycleEnded}));
    const auto chipBytes = chip();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), chipBytes.begin()));
}

TEST_F(BatchCycleTest, WhileTheSeriesRunsItWaitsForTheChipToGoAndAnotherToCome) {
    loadData(ops_test::randomBytes(32, 7));
    switches(false, true, false);
    port.running = true;
    const auto model = *simulator.chip(0);
    int removedAt = 0, insertedAt = 0;
    port.onQuery = [&](int n) {
        // The first query decides the wait; the chip goes a few polls later.
        if (n == 4) {
            simulator.removeChip(0);
            removedAt = n;
        }
        if (n == 9) {
            simulator.insertChip(0, model);
            insertedAt = n;
        }
    };
    cycle();
    EXPECT_EQ(removedAt, 4);
    EXPECT_EQ(insertedAt, 9);
    // Two answers in a row: the one at the insertion and the next.
    EXPECT_EQ(port.queries(), 10);
    EXPECT_EQ(port.results(),
              (Results{batch_result::kPassed, batch_result::kNextChip, batch_result::kCycleEnded}));
}

TEST_F(BatchCycleTest, AStopDuringTheWaitEndsTheCycleWithoutANextChip) {
    loadData(ops_test::randomBytes(32, 8));
    switches(false, true, false);
    port.running = true;
    port.onQuery = [&](int n) {
        if (n == 3)
            port.setRunning(false);
    };
    cycle();
    EXPECT_EQ(port.results(), (Results{batch_result::kPassed, batch_result::kCycleEnded}));
    // The chip taken out but the series stopped before another came.
    port.setRunning(true);
    port.onQuery = [&](int n) {
        if (n == 5)
            simulator.removeChip(0);
        if (n == 8)
            port.setRunning(false);
    };
    ASSERT_TRUE(simulator.chip(0).has_value());
    cycle();
    EXPECT_EQ(port.results().back(), batch_result::kCycleEnded);
    EXPECT_NE(port.results()[port.results().size() - 2], batch_result::kNextChip);
}

// A chip whose number could not be noted down first is never written.
TEST_F(BatchCycleTest, AChipIsNotWrittenWhenItsNumberCannotBeNotedFirst) {
    loadData(ops_test::randomBytes(32, 9));
    switches(true, true, true);
    port.allowWriting = false;
    cycle();
    EXPECT_EQ(port.writings(), 1);
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());
    EXPECT_TRUE(framesOf(cmd::kVerifyRead).empty());
    EXPECT_EQ(port.results(), Results{batch_result::kCycleEnded});
}

}  // namespace
}  // namespace nyra
