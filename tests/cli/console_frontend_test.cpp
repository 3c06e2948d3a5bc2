// SPDX-License-Identifier: GPL-3.0-or-later
#include "console_frontend.h"

#include "app/text_table.h"
#include "console_host.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace nyra::cli {
namespace {

TEST(ConsoleFrontendLines, BreaksBecomeOneSpaceAndTheBoxPaddingGoes) {
    EXPECT_EQ(
        ConsoleFrontend::oneLine("Chip identified!\r\nType:25 SPI FLASH\r\nDevice:X          "),
        "Chip identified! Type:25 SPI FLASH Device:X");
    EXPECT_EQ(ConsoleFrontend::oneLine("a\n\nb\rc"), "a b c");
    EXPECT_EQ(ConsoleFrontend::oneLine("\r\nleading break"), "leading break");
    EXPECT_EQ(ConsoleFrontend::oneLine("trailing break\r\n"), "trailing break");
    EXPECT_EQ(ConsoleFrontend::oneLine("  inner  spaces  kept"), "  inner  spaces  kept");
    EXPECT_EQ(ConsoleFrontend::oneLine(" \r\n "), "");
}

TEST(ConsoleFrontendBoxes, PrintTheTextAndTakeThePositiveAnswer) {
    std::ostringstream err;
    ConsoleFrontend console(err);
    EXPECT_EQ(console.messageBox("one", "Notice", BoxIcon::Warning, BoxButtons::Ok), BoxAnswer::Ok);
    EXPECT_EQ(console.messageBox("two", "Notice", BoxIcon::Question, BoxButtons::OkCancel),
              BoxAnswer::Ok);
    EXPECT_EQ(console.messageBox("three", "Notice", BoxIcon::Question, BoxButtons::YesNo),
              BoxAnswer::Yes);
    EXPECT_EQ(
        console.messageBox("four\r\nlines", "Notice", BoxIcon::Question, BoxButtons::YesNoCancel),
        BoxAnswer::Yes);
    // The caption is not printed; each box is one line.
    EXPECT_EQ(err.str(), "one\ntwo\nthree\nfour lines\n");
}

TEST(ConsoleFrontendBoxes, TheSameTextTwiceInARowIsPrintedOnce) {
    std::ostringstream err;
    ConsoleFrontend console(err);
    console.print("No answer");
    console.messageBox("No answer", "", BoxIcon::Information, BoxButtons::Ok);
    console.print("Other");
    console.print("No answer");
    EXPECT_EQ(err.str(), "No answer\nOther\nNo answer\n");
}

TEST(ConsoleFrontendBoxes, LinesFromSeveralThreadsStayWhole) {
    std::ostringstream err;
    ConsoleFrontend console(err);
    constexpr int kLines = 200;
    const auto writer = [&](char c) {
        for (int i = 0; i < kLines; ++i)
            console.print(std::string(40, c) + std::to_string(i));
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(err.str());
    int count = 0;
    for (std::string line; std::getline(in, line); ++count) {
        ASSERT_GE(line.size(), 41u);
        EXPECT_EQ(line.find_first_not_of(line[0]), 40u) << line;
    }
    EXPECT_EQ(count, 2 * kLines);
}

TEST(ConsoleFrontendDesktop, DialogsCancelAndNothingOpens) {
    std::ostringstream err;
    ConsoleFrontend console(err);
    EXPECT_TRUE(console.openFileDialog({}).empty());
    EXPECT_FALSE(console.openFile({}).has_value());
    EXPECT_FALSE(console.saveFileDialog({}).has_value());
    EXPECT_FALSE(console.browseFolder("Folder").has_value());
    console.playSound("/nonexistent.wav");
    console.beep(BeepKind::Exclamation);

    int calls = 0;
    bool opened = true;
    console.shellOpen("/etc/hostname", [&](bool result) {
        ++calls;
        opened = result;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(opened);
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace nyra::cli

namespace nyra::cli {
namespace {

// The link's reports name their text; a text set without it still says which.
TEST(ConsoleHostText, ATextMissingFromTheSetIsNamedByItsFileAndKey) {
    TextTable texts;
    const ConsoleHost host(texts);
    EXPECT_EQ(host.describe(itext(34)), "itext 34");
    EXPECT_EQ(host.describe(ftext(7)), "ftext 7");
}

}  // namespace
}  // namespace nyra::cli
