// The batch window over the main window's state and a simulated programmer:
// its controls per mode, the checks before a series starts, and whole series
// with an operator who swaps the chip after each one that passed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "batch/batch_window.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using namespace batch_ids;

class BatchWindowTest : public ops_test::ChipJobTest {
protected:
    BatchWindow& window() { return state.batchWindow(); }
    Panel& panel() { return window().panel(); }
    void waitForTheSeries() {
        for (int i = 0; i < 20000 && window().running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.worker().waitUntilIdle();
        window().waitUntilQuiet();
    }
    // Takes each chip that passed out and puts a blank one of its kind in.
    // seen: the count when the series started (the first chip may be done
    // before this runs).
    void runOperator(std::vector<std::vector<std::uint8_t>>& taken, int chips, std::uint32_t seen) {
        const auto model = *simulator.chip(0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (window().running() && static_cast<int>(taken.size()) < chips &&
               std::chrono::steady_clock::now() < giveUp) {
            if (window().count() != seen) {
                seen = window().count();
                taken.push_back(simulator.chipContents(0));
                simulator.removeChip(0);
                // Out until the program has asked for it a few times: a chip
                // back within one identification is never missed.
                const auto asked = framesOf(cmd::kReadIdentity).size();
                while (framesOf(cmd::kReadIdentity).size() < asked + 30 &&
                       std::chrono::steady_clock::now() < giveUp) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                simulator.insertChip(0, model);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        window().stop();
    }
    void setFields(std::uint32_t address, std::uint32_t start, std::uint32_t increment,
                   std::uint32_t count) {
        panel().setText(kFillAddress, std::to_string(address));
        panel().setText(kStartId, std::to_string(start));
        panel().setText(kIncrement, std::to_string(increment));
        panel().setText(kCount, std::to_string(count));
    }
};

TEST_F(BatchWindowTest, EachModeEnablesItsControls) {
    EXPECT_EQ(panel().currentIndex(kMode), 0);
    EXPECT_EQ(panel().currentIndex(kIdLength), 2);
    EXPECT_EQ(panel().currentIndex(kFormat), 0);
    EXPECT_TRUE(panel().checked(kAutoStart));
    EXPECT_FALSE(panel().enabled(kStop));
    EXPECT_EQ(panel().text(kCount), "0");
    EXPECT_EQ(panel().text(kIncrement), "1");
    const struct {
        int mode;
        bool list, address, id, main;
    } table[] = {{0, false, false, false, true},
                 {1, true, false, false, false},
                 {2, false, true, true, true},
                 {3, true, true, false, true}};
    for (const auto& row : table) {
        window().setMode(row.mode);
        for (int id : {kDocuments, kAdd, kUp, kDown, kDelete, kAll, kNone})
            EXPECT_EQ(panel().enabled(id), row.list) << row.mode << " " << id;
        EXPECT_EQ(panel().enabled(kFillAddress), row.address) << row.mode;
        for (int id : {kStartId, kIdLength, kIncrement, kFormat})
            EXPECT_EQ(panel().enabled(id), row.id) << row.mode << " " << id;
        EXPECT_EQ(panel().enabled(kMainDocument), row.main) << row.mode;
        EXPECT_EQ(panel().enabled(kChooseMain), row.main) << row.mode;
        EXPECT_TRUE(panel().enabled(kCount));
    }
}

TEST_F(BatchWindowTest, NothingStartsWithoutItsFiles) {
    window().start();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(panel().text(kMainDocument), std::string(21, '\t'));
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Simple});
    window().setMode(1);
    window().start();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(frontend.beeps().size(), 2u);

    // A field out of its range stops a serial-number series at once.
    window().setMode(2);
    panel().setText(kMainDocument, dir.write("fw.bin", std::string(64, 'x')));
    setFields(0, 0, 0, 0);
    window().start();
    EXPECT_FALSE(window().running());
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_EQ(frontend.boxes().back().text, "“请填入一个在1和4294967295之间的整数。”");
    panel().setText(kIncrement, "");
    window().start();
    EXPECT_EQ(frontend.boxes().back().text, "“请填入一个正整数。”");
    panel().setText(kIncrement, "4294967296");
    window().start();
    EXPECT_EQ(frontend.boxes().back().text, "“请填入一个在1和4294967295之间的整数。”");
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());
}

TEST_F(BatchWindowTest, ASerialNumberSeriesGivesEachChipItsOwnId) {
    window().setMode(2);
    const std::string main = dir.write("fw.bin", std::string(1000, '\x33'));
    panel().setText(kMainDocument, main);
    setFields(1000, 100, 3, 5);           // the count below the start ID begins at the start
    panel().setCurrentIndex(kFormat, 1);  // big-endian
    window().start();
    ASSERT_TRUE(window().running());
    EXPECT_FALSE(panel().enabled(kStart));
    EXPECT_TRUE(panel().enabled(kStop));

    std::vector<std::vector<std::uint8_t>> taken;
    runOperator(taken, 4, 100);
    waitForTheSeries();
    ASSERT_EQ(taken.size(), 4u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const std::uint32_t id = 100 + 3 * static_cast<std::uint32_t>(i);
        EXPECT_EQ(taken[i][999], 0x33) << i;
        EXPECT_EQ(taken[i][1000], id >> 24) << i;
        EXPECT_EQ(taken[i][1001], (id >> 16) & 0xFF) << i;
        EXPECT_EQ(taken[i][1002], (id >> 8) & 0xFF) << i;
        EXPECT_EQ(taken[i][1003], id & 0xFF) << i;
        EXPECT_EQ(taken[i][1004], 0xFF) << i;
    }
    // The field shows the ID the next chip gets; the button its idle caption again.
    EXPECT_GE(window().count(), 112u);
    EXPECT_NE(state.panel().text(kBtnBatch).rfind("停止批量", 0), 0u);
    EXPECT_TRUE(panel().enabled(kStart));
    EXPECT_FALSE(panel().enabled(kStop));
    std::ifstream first(main + "-ID-0.tmp~");
    EXPECT_TRUE(first.good());
}

TEST_F(BatchWindowTest, AFileListWithoutAutoStartDoesOneEntryPerStart) {
    window().setMode(1);
    panel().setChecked(kAutoStart, false);
    const std::string a = dir.write("a.bin", std::string(16, 'A'));
    const std::string b = dir.write("b.bin", std::string(16, 'B'));
    const std::string c = dir.write("c.bin", std::string(16, 'C'));
    frontend.chooseFiles({c, a, b});
    window().addDocuments();
    ASSERT_EQ(window().documents(), (std::vector<std::string>{a, b, c}));  // sorted
    window().toggleSelected(1);
    window().start();
    waitForTheSeries();
    EXPECT_EQ(chip()[0], 'B');
    EXPECT_EQ(window().count(), 1u);
    EXPECT_EQ(window().selection(), (std::vector<bool>{false, false, true}));
    window().start();
    waitForTheSeries();
    EXPECT_EQ(chip()[0], 'C');
    EXPECT_EQ(window().count(), 2u);
    // The last entry was done: the list has no selection, the series stopped.
    EXPECT_EQ(window().selection(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(window().running());
}

TEST_F(BatchWindowTest, AFailedChipStopsWithoutAdvancingAndLateResultsChangeNothing) {
    window().setMode(0);
    panel().setText(kMainDocument, dir.write("fw.bin", std::string(256, '\x11')));
    // Verify alone against a blank chip: the step fails.
    for (int id : {kCmdBatchErase, kCmdBatchProgram})
        state.command(id);
    window().start();
    waitForTheSeries();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(window().count(), 0u);
    window().postResult(batch_result::kPassed);
    window().waitUntilQuiet();
    EXPECT_EQ(window().count(), 0u);
}

TEST_F(BatchWindowTest, TheDocumentListMovesDeletesAndSelects) {
    frontend.chooseFiles({"/x/c", "/x/a", "/x/B"});
    window().addDocuments();
    EXPECT_EQ(window().documents(), (std::vector<std::string>{"/x/a", "/x/B", "/x/c"}));
    window().toggleSelected(2);
    window().move(true);
    EXPECT_EQ(window().documents(), (std::vector<std::string>{"/x/a", "/x/c", "/x/B"}));
    EXPECT_EQ(window().selection(), (std::vector<bool>{false, true, false}));
    window().move(true);
    window().move(true);  // already first
    EXPECT_EQ(window().documents().front(), "/x/c");
    window().toggleSelected(2);
    window().move(false);  // two selected: nothing moves
    EXPECT_EQ(window().documents().front(), "/x/c");
    window().selectAll(false);
    window().selectAll(true);
    EXPECT_EQ(window().selection(), (std::vector<bool>{true, true, true}));
    window().toggleSelected(1);
    window().deleteSelected();
    EXPECT_EQ(window().documents(), (std::vector<std::string>{"/x/a"}));
    EXPECT_EQ(window().selection(), (std::vector<bool>{false}));

    // Exit keeps what the fields say for the next time the window shows.
    panel().setText(kCount, "7");
    window().exit();
    EXPECT_EQ(window().count(), 7u);
}

}  // namespace
}  // namespace nyra
