// SPDX-License-Identifier: GPL-3.0-or-later
// The batch window over the main window's state and a simulated programmer:
// its controls per mode, the checks before a series starts, and whole series
// with an operator who swaps the chip after each one that passed; then the
// window alone, fed the cycle's results by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "app/text_table.h"
#include "batch/batch_window.h"
#include "ops/job_texts.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"
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

// The 512 KiB chip in the socket: an image past it is refused at the start,
// before any file is made or the chip is touched; one that just fits starts.
TEST_F(BatchWindowTest, AnImageLargerThanTheChipIsRefusedBeforeAnythingIsMade) {
    constexpr std::uint32_t kChip = 512 * 1024;
    const std::string main = dir.write("main.bin", std::string(1000, 'm'));
    const std::string big = dir.write("big.bin", std::string(kChip + 1, 'b'));
    const std::string fits = dir.write("fits.bin", std::string(kChip - 1000, 'f'));
    const std::string whole = dir.write("whole.bin", std::string(kChip, 'w'));
    const struct Row {
        int mode;
        std::string main;
        std::vector<std::string> documents;
        std::uint32_t address;
        std::string named;  // the file the refusal names; empty: it starts
        std::uint64_t bytes;
    } rows[] = {
        {0, big, {}, 0, big, kChip + 1},
        {0, whole, {}, 0, "", 0},
        {1, "", {whole, big}, 0, big, kChip + 1},
        {2, main, {}, kChip - 3, main, kChip + 1},  // a 4-byte ID one byte past the end
        {2, main, {}, 0x10000000, main, 0x10000004},
        {2, main, {}, kChip - 4, "", 0},
        {3, main, {fits, whole}, 0, whole, 1000 + kChip},  // appended at the main's end
        {3, main, {fits}, 900, "", 0},
        {3, main, {fits}, 1001, fits, kChip + 1},
    };
    const auto temporaryFiles = [&] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.folder()))
            n += entry.path().string().ends_with(".tmp~");
        return n;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        SCOPED_TRACE(row.address);
        window().setMode(row.mode);
        panel().setText(kMainDocument, row.main);
        window().selectAll(true);
        window().deleteSelected();
        window().addDocuments(row.documents);
        setFields(row.address, 1, 1, 1);
        frontend.clearRecord();
        simulator.clearFrames(0);
        const int temporaryBefore = temporaryFiles();
        window().start();
        if (row.named.empty()) {
            EXPECT_TRUE(window().running());
            window().stop();
            waitForTheSeries();
            continue;
        }
        EXPECT_FALSE(window().running());
        ASSERT_EQ(frontend.boxes().size(), 1u);
        EXPECT_EQ(frontend.boxes()[0].text,
                  imageLargerThanChipText(context().texts, row.named, row.bytes, kChip));
        EXPECT_TRUE(framesOf(cmd::kErase).empty());
        EXPECT_EQ(temporaryFiles(), temporaryBefore);
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
    // Too long to read is out of range too, never taken for the largest number.
    for (const char* tooLarge : {"4294967296", "99999999999999999999"}) {
        frontend.clearRecord();
        panel().setText(kIncrement, tooLarge);
        window().start();
        EXPECT_FALSE(window().running()) << tooLarge;
        ASSERT_FALSE(frontend.boxes().empty()) << tooLarge;
        EXPECT_EQ(frontend.boxes().back().text, "“请填入一个在1和4294967295之间的整数。”");
    }
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
    // The series' copy of the document went with the series.
    EXPECT_FALSE(std::filesystem::exists(main + "-ID-0.tmp~"));
}

// An ID cut to its length would be a number an earlier chip got: the series
// stops before it, and a new start refuses it.
TEST_F(BatchWindowTest, ASeriesStopsBeforeTheFirstIdThatDoesNotFitItsLength) {
    window().setMode(2);
    const std::string main = dir.write("fw.bin", std::string(16, '\x33'));
    panel().setText(kMainDocument, main);
    panel().setCurrentIndex(kIdLength, 0);  // one byte
    setFields(16, 300, 1, 0);
    window().start();
    EXPECT_FALSE(window().running()) << "300 does not fit in a byte";
    EXPECT_EQ(frontend.boxes().back().text, "“请填入一个在0和255之间的整数。”");
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());

    setFields(16, 253, 1, 0);
    window().start();
    ASSERT_TRUE(window().running());
    std::vector<std::vector<std::uint8_t>> taken;
    runOperator(taken, 3, 253);
    waitForTheSeries();
    ASSERT_FALSE(window().running());
    taken.push_back(simulator.chipContents(0));  // the last one is still in
    ASSERT_EQ(taken.size(), 3u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i][16], 253 + i) << i;
    }
    EXPECT_TRUE(window().idsUsedUp());
    EXPECT_EQ(panel().text(kCount), "256");
    EXPECT_NE(frontend.boxes().back().text.find("256"), std::string::npos);

    // Started again as it stands: refused, nothing is programmed.
    const auto programmed = framesOf(cmd::kProgramStart).size();
    window().start();
    EXPECT_FALSE(window().running());
    EXPECT_EQ(frontend.boxes().back().text, "“请填入一个在0和255之间的整数。”");
    EXPECT_EQ(framesOf(cmd::kProgramStart).size(), programmed);
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

TEST_F(BatchWindowTest, AFailedChipStopsWithoutAdvancing) {
    window().setMode(0);
    panel().setText(kMainDocument, dir.write("fw.bin", std::string(256, '\x11')));
    // Verify alone against a blank chip: the step fails.
    for (int id : {kCmdBatchErase, kCmdBatchProgram})
        state.command(id);
    window().start();
    waitForTheSeries();
    EXPECT_FALSE(window().running());
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

// The window alone, without a worker: the tests post the cycle's results
// themselves and see the run requests it makes.
class BatchWindowAloneTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string ftext = "[ftext]\r\n";
        for (int key = 111; key <= 134; ++key)
            ftext += std::to_string(key) + "=F" + std::to_string(key) + "\r\n";
        texts.loadTexts(dir.write("ftext.ini", ftext), "ftext", kFtextEntries, kFtextBase);
        texts.loadTexts(
            dir.write("itext.ini", "[itext]\r\n25=Cannot open\r\n29=Error\r\n30=Other\r\n"),
            "itext", kItextEntries, kItextBase);
        window.create();
        main = dir.write("fw.bin", std::string(16, 'M'));
        panel().setText(kMainDocument, main);
    }
    Panel& panel() { return window.panel(); }
    std::vector<std::uint32_t> requests() {
        std::lock_guard lock(mutex);
        return requests_;
    }
    std::vector<std::optional<std::uint32_t>> captions() {
        std::lock_guard lock(mutex);
        return captions_;
    }
    void setFields(const std::string& address, const std::string& start,
                   const std::string& increment, const std::string& count) {
        panel().setText(kFillAddress, address);
        panel().setText(kStartId, start);
        panel().setText(kIncrement, increment);
        panel().setText(kCount, count);
    }
    void post(std::uint8_t code) {
        window.postResult(code);
        window.waitUntilQuiet();
    }

    TempDir dir;
    std::string main;
    ScriptedFrontend frontend;
    TextTable texts;
    VirtualClock clock;
    std::mutex mutex;
    std::vector<std::uint32_t> requests_;
    std::vector<std::int64_t> requestTimes_;
    std::vector<std::optional<std::uint32_t>> captions_;
    BatchWindow window{[this](std::uint32_t parameter) {
                           std::lock_guard lock(mutex);
                           requests_.push_back(parameter);
                           requestTimes_.push_back(clock.nowMs());
                       },
                       [this](std::optional<std::uint32_t> count) {
                           std::lock_guard lock(mutex);
                           captions_.push_back(count);
                       },
                       frontend, texts, clock};
};

TEST_F(BatchWindowAloneTest, LabelsButtonsAndChoicesComeFromTheTexts) {
    EXPECT_EQ(window.title(), "F111");
    EXPECT_EQ(panel().text(1174), "F111:");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(panel().text(1175 + i), "F" + std::to_string(118 + i) + ":") << i;
    EXPECT_EQ(panel().items(kMode), (std::vector<std::string>{"F129", "F130", "F131", "F132"}));
    EXPECT_EQ(panel().items(kFormat), (std::vector<std::string>{"F133", "F134"}));
    const std::pair<int, const char*> buttons[] = {
        {kAdd, "F112"},  {kUp, "F113"},         {kDown, "F114"},     {kDelete, "F115"},
        {kAll, "F116"},  {kNone, "F117"},       {kStart, "F126"},    {kStop, "F127"},
        {kExit, "F128"}, {kChooseMain, "F125"}, {kAutoStart, "F124"}};
    for (const auto& [id, text] : buttons)
        EXPECT_EQ(panel().text(id), text) << id;
}

TEST_F(BatchWindowAloneTest, ARunningSeriesLocksTheWindowUntilItStops) {
    window.start();
    ASSERT_TRUE(window.running());
    EXPECT_EQ(requests(), std::vector<std::uint32_t>{3});  // load the file, then the cycle
    // Only the count and Stop stay usable while chips are being done.
    for (int id : {kMode, kDocuments, kAdd, kUp, kDown, kDelete, kAll, kNone, kFillAddress,
                   kStartId, kIdLength, kIncrement, kFormat, kMainDocument, kChooseMain, kStart})
        EXPECT_FALSE(panel().enabled(id)) << id;
    EXPECT_TRUE(panel().enabled(kCount));
    EXPECT_TRUE(panel().enabled(kStop));
    window.stop();
    EXPECT_FALSE(window.running());
    // Back to what mode 0 allows.
    for (int id : {kDocuments, kAdd, kFillAddress, kStartId, kIdLength, kStop})
        EXPECT_FALSE(panel().enabled(id)) << id;
    for (int id : {kMode, kMainDocument, kChooseMain, kStart, kCount})
        EXPECT_TRUE(panel().enabled(id)) << id;
    EXPECT_EQ(captions(), (std::vector<std::optional<std::uint32_t>>{0u, std::nullopt}));
}

TEST_F(BatchWindowAloneTest, OnlyA32AloneStopsTheSeries) {
    window.start();
    post(batch_result::kPassed);
    EXPECT_EQ(window.count(), 1u);
    EXPECT_EQ(panel().text(kCount), "1");
    const std::int64_t nextChipIn = clock.nowMs();
    post(batch_result::kNextChip);
    // Mode 0 runs the loaded file again, after a pause for the chip to settle.
    ASSERT_EQ(requests(), (std::vector<std::uint32_t>{3, 2}));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(requestTimes_.back() - nextChipIn, 200);
    }
    post(batch_result::kCycleEnded);  // behind a 64: only the cycle's end
    EXPECT_TRUE(window.running());
    post(batch_result::kPassed);
    post(batch_result::kCycleEnded);  // behind a 0: the same
    EXPECT_TRUE(window.running());
    EXPECT_EQ(window.count(), 2u);
    post(batch_result::kCycleEnded);  // alone: a step failed
    EXPECT_FALSE(window.running());
    EXPECT_EQ(window.count(), 2u);
    EXPECT_EQ(requests().size(), 2u);

    for (std::uint8_t code : {batch_result::kNoData, batch_result::kBlocked}) {
        window.start();
        ASSERT_TRUE(window.running()) << int{code};
        post(code);
        EXPECT_FALSE(window.running()) << int{code};
    }
}

// A chip done after Stop, or whose outcome is unknown, used its number up:
// it is told and counted, and the series does not go on.
TEST_F(BatchWindowAloneTest, APassAfterStopAndAnUnknownOutcomeStillUseTheNumberUp) {
    std::vector<std::pair<std::uint8_t, std::uint32_t>> told;
    window.chipDone = [&told](const BatchChipResult& chip) {
        told.emplace_back(chip.code, chip.count);
        return true;
    };
    window.setMode(2);
    setFields("16", "40", "5", "0");
    window.start();
    window.stop();
    post(batch_result::kPassed);
    post(batch_result::kCycleEnded);
    EXPECT_EQ(panel().text(kCount), "45");
    window.start();
    post(batch_result::kUnknown);
    post(batch_result::kCycleEnded);
    EXPECT_FALSE(window.running());
    EXPECT_EQ(panel().text(kCount), "50");
    EXPECT_EQ(told, (std::vector<std::pair<std::uint8_t, std::uint32_t>>{
                        {batch_result::kPassed, 40}, {batch_result::kUnknown, 45}}));
    EXPECT_EQ(requests(), (std::vector<std::uint32_t>{3, 3}));
    // Each series' copy went with it; the next start gives 50 to its own.
    EXPECT_FALSE(std::filesystem::exists(main + "-ID-0.tmp~"));
    EXPECT_FALSE(std::filesystem::exists(main + "-ID-1.tmp~"));
    window.start();
    std::ifstream file(window.currentBatchFile(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    ASSERT_EQ(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(16), std::string("\x32\0\0\0", 4)) << "50 for the next chip";
    window.stop();
}

TEST_F(BatchWindowAloneTest, AutoStartOffEndsTheSeriesAtTheNextChip) {
    // Turned off while the series waits for the next chip: that chip is not started.
    window.start();
    post(batch_result::kPassed);
    panel().setChecked(kAutoStart, false);
    post(batch_result::kNextChip);
    EXPECT_FALSE(window.running());
    EXPECT_EQ(requests(), std::vector<std::uint32_t>{3});
    // Off from the start: one chip per Start.
    window.start();
    post(batch_result::kPassed);
    EXPECT_FALSE(window.running());
    EXPECT_EQ(window.count(), 2u);
}

TEST_F(BatchWindowAloneTest, AFieldOrFileAtFaultGetsTheKeyboard) {
    std::vector<std::pair<int, bool>> focused;
    window.focus = [&focused](int id, bool selectAll) { focused.emplace_back(id, selectAll); };
    panel().setText(kMainDocument, dir.file("missing.bin"));
    window.start();
    window.setMode(1);
    window.start();
    window.setMode(2);
    panel().setText(kMainDocument, main);
    panel().setText(kIncrement, "0");
    window.start();
    EXPECT_FALSE(window.running());
    EXPECT_EQ(focused, (std::vector<std::pair<int, bool>>{
                           {kMainDocument, true}, {kDocuments, false}, {kIncrement, true}}));
    EXPECT_TRUE(requests().empty());
}

TEST_F(BatchWindowAloneTest, AStartTakesTheFirstSelectedEntryOrTheFirstOne) {
    const std::string a = dir.write("a.bin", "A");
    const std::string b = dir.write("b.bin", "B");
    const std::string c = dir.write("c.bin", "C");
    frontend.chooseFiles({a, b, c});
    window.addDocuments();
    window.setMode(1);
    window.toggleSelected(1);
    window.toggleSelected(2);
    window.start();
    EXPECT_EQ(window.currentBatchFile(), b);
    EXPECT_EQ(window.selection(), (std::vector<bool>{false, true, false}));
    window.stop();
    window.selectAll(false);
    window.start();
    EXPECT_EQ(window.currentBatchFile(), a);
    EXPECT_EQ(window.selection(), (std::vector<bool>{true, false, false}));
    post(batch_result::kPassed);
    EXPECT_EQ(window.currentBatchFile(), b);
    window.stop();

    // Mode 3 the same, over the main document followed by the entry.
    window.setMode(3);
    panel().setText(kFillAddress, "20");
    window.selectAll(true);
    window.start();
    EXPECT_EQ(window.selection(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(window.currentBatchFile(), main + "-a.bin-0.tmp~");
    EXPECT_EQ(window.currentBatchDocument(), a) << "the window names the entry, not the copy";
    EXPECT_EQ(dir.read("fw.bin-a.bin-0.tmp~"), std::string(16, 'M') + std::string(4, '\xFF') + "A");
}

// Closing the program while a series stands removes its copy beside the
// user's document.
TEST_F(BatchWindowAloneTest, ACopyGoesWithTheWindowThatMadeIt) {
    {
        BatchWindow other([](std::uint32_t) {}, [](std::optional<std::uint32_t>) {}, frontend,
                          texts, clock);
        other.create();
        other.panel().setText(kMainDocument, main);
        other.setMode(2);
        other.panel().setText(kFillAddress, "16");
        other.start();
        ASSERT_TRUE(other.running());
        EXPECT_TRUE(std::filesystem::exists(other.currentBatchFile()));
    }
    EXPECT_FALSE(std::filesystem::exists(main + "-ID-0.tmp~"));
}

TEST_F(BatchWindowAloneTest, AFileThatCannotBeMadeForTheNextChipStopsTheSeries) {
    const std::string a = dir.write("a.bin", "A");
    const std::string b = dir.write("b.bin", "B");
    frontend.chooseFiles({a, b});
    window.addDocuments();
    window.setMode(3);
    window.start();
    ASSERT_TRUE(window.running());
    std::filesystem::remove(b);
    post(batch_result::kPassed);
    EXPECT_FALSE(window.running());
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Cannot open\n" + b + "\n" + std::strerror(ENOENT));
    EXPECT_EQ(frontend.boxes()[0].caption, "Error");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);

    // Mode 2: the next ID cannot be written into the file.
    window.setMode(2);
    setFields("16", "0100", "1", "0200");
    window.start();
    ASSERT_TRUE(window.running());
    // The fields show the numbers the series uses.
    EXPECT_EQ(panel().text(kStartId), "100");
    EXPECT_EQ(panel().text(kCount), "200");
    const std::string idFile = window.currentBatchFile();
    std::filesystem::remove(idFile);
    post(batch_result::kPassed);
    EXPECT_FALSE(window.running());
    ASSERT_EQ(frontend.boxes().size(), 2u);
    EXPECT_EQ(frontend.boxes()[1].text, "Cannot open\n" + idFile + "\n" + std::strerror(ENOENT));
    EXPECT_EQ(frontend.boxes()[1].caption, "Error");
}

TEST_F(BatchWindowAloneTest, ChoosingTheMainDocumentPutsTheFillAddressBehindIt) {
    panel().setText(kCount, "5");  // typed, not yet read
    frontend.chooseFile(dir.write("big.bin", std::string(1234, 'x')));
    window.chooseMainDocument();
    EXPECT_EQ(panel().text(kMainDocument), dir.file("big.bin"));
    EXPECT_EQ(panel().text(kFillAddress), "1234");
    EXPECT_EQ(panel().text(kCount), "5");
    frontend.cancelDialog();
    window.chooseMainDocument();
    EXPECT_EQ(panel().text(kMainDocument), dir.file("big.bin"));
    // A name that is no file: the address stays.
    frontend.chooseFile(dir.file("gone.bin"));
    window.chooseMainDocument();
    EXPECT_EQ(panel().text(kMainDocument), dir.file("gone.bin"));
    EXPECT_EQ(panel().text(kFillAddress), "1234");
}

TEST_F(BatchWindowAloneTest, TheListShowsTheDocumentsAndIsToldOfEachSelection) {
    std::atomic<int> marks = 0;
    const auto token = panel().subscribe([&marks](const PanelChange& change) {
        if (change.id == kDocuments && change.property == PanelProperty::Checked)
            ++marks;
    });
    frontend.chooseFiles({"/x/b", "/x/a", "/x/B"});
    window.addDocuments();
    // Names equal but for case keep the order they were added in.
    EXPECT_EQ(panel().items(kDocuments), (std::vector<std::string>{"/x/a", "/x/b", "/x/B"}));
    EXPECT_EQ(marks, 1);
    window.toggleSelected(0);
    EXPECT_EQ(marks, 2);
    window.move(false);
    EXPECT_EQ(panel().items(kDocuments), (std::vector<std::string>{"/x/b", "/x/a", "/x/B"}));
    EXPECT_EQ(marks, 3);
    window.selectAll(true);
    window.selectAll(false);
    EXPECT_EQ(marks, 5);
    window.toggleSelected(2);
    window.deleteSelected();
    EXPECT_EQ(panel().items(kDocuments), (std::vector<std::string>{"/x/b", "/x/a"}));
    EXPECT_EQ(marks, 7);
    panel().unsubscribe(token);
}

}  // namespace
}  // namespace nyra
