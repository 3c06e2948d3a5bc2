// SPDX-License-Identifier: GPL-3.0-or-later
// The find window and job 24 on the worker: each match shown and marked, the
// hand-over through the job code byte, a changed pattern, cancel and the
// end of the search.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ops/find_job.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;

class FindJobTest : public ops_test::ChipJobTest {
protected:
    std::string itextFile() const override {
        return std::string(ops_test::kJobItext) +
               "88=No memory\r\n89=Nothing found\r\n90=Search ended\r\n168=Enter text\r\n"
               "169=Not hex\r\n170=Next\r\n";
    }
    void SetUp() override {
        ChipJobTest::SetUp();
        window().open();
    }
    FindWindow& window() { return state.findWindow(); }
    std::uint8_t signal() { return state.workerShared().jobCode.load(); }

    // Waits on the real clock for the job to reach a state.
    bool waitFor(std::uint8_t code) {
        for (int i = 0; i < 5000 && signal() != code; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return signal() == code;
    }
    // The data offset of the focused cell.
    std::uint64_t focused() {
        const HexViewModel& view = state.hexView();
        return (std::uint64_t{view.viewStart()} + static_cast<unsigned>(view.focusRow() - 1)) * 16 +
               static_cast<unsigned>(view.focusColumn() - 1);
    }
    void find(const std::string& text) {
        window().setText(text);
        window().search();
    }
};

std::vector<std::uint8_t> dataWith(
    std::size_t size, const std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>& at) {
    std::vector<std::uint8_t> data(size, 0x00);
    for (const auto& [offset, bytes] : at)
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<long>(offset));
    return data;
}

const std::vector<std::uint8_t> kCoffee{0xC0, 0xFF, 0xEE};

TEST_F(FindJobTest, EachMatchIsShownMarkedAndWaitsForNext) {
    loadData(dataWith(0x40000, {{0x10, kCoffee}, {0x200E, kCoffee}, {0x30000, kCoffee}}));
    find("c0ffee");
    EXPECT_EQ(window().panel().text(kFindAction), "Next");
    ASSERT_TRUE(waitFor(find_signal::kWaiting));
    EXPECT_EQ(focused(), 0x10u);

    window().search();
    ASSERT_TRUE(waitFor(find_signal::kWaiting) && focused() == 0x200E);
    // Three cells marked from the focus on, into the next row after column 16.
    const HexViewModel& view = state.hexView();
    const int row = view.focusRow();
    EXPECT_EQ(view.cell(row, 15).state, kCellHighlighted);
    EXPECT_EQ(view.cell(row, 16).state, kCellHighlighted);
    EXPECT_EQ(view.cell(row + 1, 1).state, kCellHighlighted);
    EXPECT_NE(view.cell(row + 1, 2).state, kCellHighlighted);
    EXPECT_NE(view.cell(row, 14).state, kCellHighlighted);

    window().search();
    ASSERT_TRUE(waitFor(find_signal::kWaiting) && focused() == 0x30000);
    window().search();
    ASSERT_TRUE(waitFor(kIdleJobCode));
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_EQ(frontend.boxes().back().text, "Search ended");
    EXPECT_EQ(frontend.boxes().back().icon, BoxIcon::Information);
    EXPECT_EQ(state.hexView().viewStart(), 0x30000u / 16) << "the last match's rows";

    // Next after the end starts again at the beginning.
    window().search();
    ASSERT_TRUE(waitFor(find_signal::kWaiting));
    EXPECT_EQ(focused(), 0x10u);
    window().cancel();
    ASSERT_TRUE(waitFor(kIdleJobCode));
}

TEST_F(FindJobTest, NothingFoundSaysSoAndLeavesTheViewWhereItWas) {
    loadData(dataWith(0x10000, {}));
    find("C0FFEE");
    ASSERT_TRUE(waitFor(kIdleJobCode));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Nothing found");
    EXPECT_EQ(state.hexView().viewStart(), 0u);
}

TEST_F(FindJobTest, AChangedPatternEndsTheWaitingSearchAndStartsAnew) {
    loadData(dataWith(0x10000, {{0x100, kCoffee}, {0x200, {0xBE, 0xEF}}, {0x300, kCoffee}}));
    find("C0FFEE");
    ASSERT_TRUE(waitFor(find_signal::kWaiting) && focused() == 0x100);
    find("BEEF");
    ASSERT_TRUE(waitFor(find_signal::kWaiting));
    EXPECT_EQ(focused(), 0x200u);
    EXPECT_EQ(state.workerShared().jobCode.load(), find_signal::kWaiting);
    // The old search ended without its box.
    EXPECT_TRUE(frontend.boxes().empty());
    window().cancel();
    ASSERT_TRUE(waitFor(kIdleJobCode));
    EXPECT_TRUE(frontend.boxes().empty()) << "a cancelled search says nothing";
}

TEST_F(FindJobTest, CancelWithoutASearchLeavesTheWorkerIdle) {
    window().cancel();
    EXPECT_EQ(signal(), kIdleJobCode);
}

TEST_F(FindJobTest, BadTextIsRefusedBeforeAnySearch) {
    loadData(dataWith(0x100, {}));
    for (const auto& [text, message] :
         {std::pair{"", "Enter text"}, {"AA BB", "Not hex"}, {"XYZ", "Not hex"}}) {
        frontend.clearRecord();
        find(text);
        ASSERT_EQ(frontend.boxes().size(), 1u) << text;
        EXPECT_EQ(frontend.boxes()[0].text, message);
        EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
        EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
        EXPECT_EQ(signal(), kIdleJobCode);
    }
    EXPECT_EQ(window().panel().text(kFindAction), "") << "no ftext 77 in this set; unchanged";
}

TEST_F(FindJobTest, CharacterModeSearchesTheTextsBytes) {
    loadData(dataWith(0x1000, {{0x123, {'K', 'V', 'Q'}}}));
    window().setHexMode(false);
    find("KVQ");
    ASSERT_TRUE(waitFor(find_signal::kWaiting));
    EXPECT_EQ(focused(), 0x123u);
    window().cancel();
    ASSERT_TRUE(waitFor(kIdleJobCode));
}

TEST_F(FindJobTest, WithoutDataTheJobSaysSo) {
    find("AA");
    ASSERT_TRUE(waitFor(kIdleJobCode));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "No data!");
}

TEST_F(FindJobTest, AStopRaisedWhileSearchingEndsTheJobAtItsNextMatch) {
    // The window was closed while the job searched: it must not wait at the
    // match for a window that is gone.
    loadData(dataWith(0x1000, {{0x20, kCoffee}}));
    SearchState search;
    search.setPattern("C0FFEE");
    state.workerShared().jobCode.store(find_signal::kStop);
    EXPECT_EQ(findInData(context(), state.hexView(), search), 1);
    EXPECT_TRUE(frontend.boxes().empty());
    state.workerShared().jobCode.store(kIdleJobCode);
}

}  // namespace
}  // namespace nyra
