// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_view_model.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/clock.h"
#include "support/temp_dir.h"
#include "ui/ids.h"
#include "ui/log_model.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using namespace hexview;

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

class HexViewTest : public ::testing::Test {
protected:
    HexViewTest() {
        std::string ini = "[itext]\r\n";
        for (int key : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 55})
            ini += std::to_string(key) + "=T" + std::to_string(key) + "\r\n";
        dir.write("itext.ini", ini);
        texts.loadFrom(dir.folder());
        panel.addMenuItem(ids::kCmdSaveFile, "", true);
        panel.addMenuItem(ids::kCmdFileFill, "", true);
        panel.addMenuItem(ids::kCmdEditMode);
    }

    // As a load leaves it: the working copy and the reference hold the same bytes.
    void load(const std::string& bytes) {
        dir.write("u_mod1.dll", bytes);
        dir.write("ref.bin", bytes);
        std::uint64_t sum = 0;
        for (unsigned char c : bytes)
            sum += c;
        openLoaded(sum);
    }
    void openLoaded(std::uint64_t sum) {
        data.reset();
        ASSERT_TRUE(data.openWorking(dir.file("u_mod1.dll")));
        ASSERT_TRUE(data.openReference(dir.file("ref.bin")));
        data.loaded(sum);
        data.updateRows(chip);
        view.resetForLoad(true);
        view.setScrollRange();
        view.refreshView();
    }
    std::string file() const { return dir.read("u_mod1.dll"); }
    std::string statusText() const { return panel.text(ids::kStatusLine); }
    // The grid cell of an offset inside the window.
    int rowOf(std::uint64_t offset) const {
        return static_cast<int>(offset / 16 - view.viewStart()) + 1;
    }
    static int columnOf(std::uint64_t offset) { return static_cast<int>(offset % 16) + 1; }
    void editAt(std::uint64_t offset, bool rightHalf = false) {
        view.clickCell(rowOf(offset), columnOf(offset), rightHalf);
    }

    TempDir dir;
    Panel panel;
    LogModel logModel;
    VirtualClock clock{{2026, 5, 6, 7, 8, 9, 0}};
    OperationLog log{logModel, clock};
    ScriptedFrontend frontend;
    StatusLine status{panel, log, frontend};
    TextTable texts;
    JobFlags jobs;
    DataBuffer data;
    std::uint32_t chip = 1024;
    // Runs inside every repaint, under the view's lock.
    std::function<void()> whilePainting;
    HexViewModel view{data,
                      [this] {
                          if (whilePainting)
                              whilePainting();
                          return chip;
                      },
                      panel,
                      status,
                      frontend,
                      texts,
                      jobs};
};

TEST_F(HexViewTest, LooksErasedWithFixedHeadersBeforeAnyLoad) {
    EXPECT_EQ(view.cell(0, 0).text, "  ADDR");
    EXPECT_EQ(view.cell(0, 1).text, "0");
    EXPECT_EQ(view.cell(0, 11).text, "A");
    EXPECT_EQ(view.cell(0, 16).text, "F");
    EXPECT_EQ(view.cell(0, kAsciiColumn).text, "     ASCII");
    EXPECT_EQ(view.cell(1, 0).text, "00000000");
    EXPECT_EQ(view.cell(2, 0).text, "00000010");
    EXPECT_EQ(view.cell(20, 0).text, "00000130");
    for (int r = 1; r <= kViewRows; ++r) {
        EXPECT_EQ(view.cell(r, kAsciiColumn).text, "................");
        EXPECT_EQ(view.textColour(r, 0), hexcolour::kFixedText);
        EXPECT_EQ(view.background(r, 0), hexcolour::kWhite);
        for (int k = 1; k <= 16; ++k) {
            EXPECT_EQ(view.cell(r, k).text, "FF");
            EXPECT_EQ(view.textColour(r, k), hexcolour::kOutside);
        }
    }
    EXPECT_EQ(view.textColour(0, 5), hexcolour::kFixedText);
    view.refreshView();
    EXPECT_EQ(view.cell(3, 4).state, kCellOutside) << "nothing loaded";
    EXPECT_FALSE(view.scrollBar().enabled);
}

TEST_F(HexViewTest, TenByteFileShowsDataBlackAndEverythingElseGrey) {
    chip = 16;
    const std::string bytes(
        "\x20\x21\x7E\x7F\x00"
        "A\x80\xFF\x0A"
        "z",
        10);
    load(bytes);
    for (int k = 1; k <= 16; ++k) {
        const bool inData = k <= 10;
        EXPECT_EQ(view.cell(1, k).state, inData ? kCellNormal : kCellOutside) << k;
        EXPECT_EQ(view.textColour(1, k), inData ? hexcolour::kBlack : hexcolour::kOutside);
        const unsigned byte = inData ? static_cast<unsigned char>(bytes[k - 1]) : 0xFF;
        EXPECT_EQ(view.cell(1, k).text, hexByte(byte));
    }
    EXPECT_EQ(view.cell(1, kAsciiColumn).text, ".!~..A...z......") << "space is shown as '.'";
    for (int r = 2; r <= kViewRows; ++r)
        for (int k = 1; k <= 16; ++k) {
            EXPECT_EQ(view.cell(r, k).state, kCellOutside);
            EXPECT_EQ(view.cell(r, k).text, "FF");
        }
    EXPECT_TRUE(panel.menuGreyed(ids::kCmdSaveFile)) << "nothing differs from the reference";
    EXPECT_FALSE(view.scrollBar().enabled);
}

TEST_F(HexViewTest, TypingTwoDigitsWritesEachAndRunsOnToTheNextByte) {
    load(std::string("\x3A\x10\x20", 3));
    view.toggleEditMode(false);
    editAt(0);
    ASSERT_TRUE(view.editor().visible);
    EXPECT_EQ(view.editor().text, "3A");
    EXPECT_EQ(view.editor().selectionStart, 0);
    EXPECT_EQ(view.editor().selectionLength, 1);

    view.typeIntoEditor('5');
    EXPECT_EQ(static_cast<unsigned char>(file()[0]), 0x5A);
    EXPECT_EQ(view.editor().row, 1);
    EXPECT_EQ(view.editor().column, 1);
    EXPECT_EQ(view.editor().text, "5A");
    EXPECT_EQ(view.editor().selectionStart, 1) << "the second digit is next";
    EXPECT_EQ(view.editor().selectionLength, 1);
    EXPECT_EQ(view.cell(1, 1).state, kCellChanged);
    EXPECT_FALSE(panel.menuGreyed(ids::kCmdSaveFile));

    view.typeIntoEditor('b');
    EXPECT_EQ(static_cast<unsigned char>(file()[0]), 0x5B);
    EXPECT_EQ(file().size(), 3u);
    EXPECT_EQ(view.cell(1, 1).text, "5B");
    EXPECT_EQ(view.editor().column, 2);
    EXPECT_EQ(view.editor().text, "10");
    EXPECT_EQ(view.editor().selectionStart, 0);
    EXPECT_EQ(view.editor().selectionLength, 1);
    EXPECT_EQ(data.dataChecksum(), 0x5Bu + 0x10 + 0x20);
    EXPECT_EQ(panel.text(ids::kTextFileChecksum), formatChecksum(0x5B + 0x10 + 0x20));
    EXPECT_EQ(panel.text(ids::kTextChipChecksum),
              formatChecksum(0x5B + 0x10 + 0x20 + 255ull * 1021));
    EXPECT_EQ(statusText(), "T3") << "the editor reopened after the write's T11";
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(HexViewTest, RightHalfClickTypesTheLowDigitAndTheSameTextWritesNothing) {
    load(std::string("\x3A\x10", 2));
    view.toggleEditMode(false);
    editAt(0, true);
    EXPECT_EQ(view.editor().selectionStart, 1);
    view.typeIntoEditor('A');
    EXPECT_EQ(statusText(), "T3");
    EXPECT_EQ(view.editor().column, 2) << "ran on although nothing changed";
    EXPECT_TRUE(panel.menuGreyed(ids::kCmdSaveFile));
    view.commitEdit();
    EXPECT_EQ(statusText(), "T10");
    EXPECT_FALSE(view.editor().visible);
    EXPECT_EQ(file(), std::string("\x3A\x10", 2));
}

TEST_F(HexViewTest, InvalidAndEmptyEditorTextsAreAnsweredAndRestored) {
    load(std::string("\x3A\x10", 2));
    view.toggleEditMode(false);
    editAt(0);
    view.typeIntoEditor('G');
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "T8");
    EXPECT_EQ(frontend.boxes()[0].caption, "T9");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(view.editor().text, "3A");
    EXPECT_EQ(view.editor().selectionStart, 0);
    EXPECT_EQ(file(), std::string("\x3A\x10", 2));

    view.typeIntoEditor('7');
    view.typeIntoEditor('x');
    EXPECT_EQ(view.editor().text, "7A") << "the last valid text comes back";
    EXPECT_EQ(view.editor().selectionStart, 1);
    EXPECT_EQ(static_cast<unsigned char>(file()[0]), 0x7A);
    // A change without a caret in the text (none, or before its first
    // character) is nothing typed.
    const std::size_t boxes = frontend.boxes().size();
    for (const int caret : {-1, 0, 3}) {
        view.editorTextChanged("5A", caret);
        EXPECT_EQ(frontend.boxes().size(), boxes) << caret;
        EXPECT_EQ(view.editor().text, "7A") << caret;
        EXPECT_EQ(static_cast<unsigned char>(file()[0]), 0x7A) << caret;
    }

    view.editorTextChanged("", -1);
    ASSERT_EQ(frontend.boxes().size(), 3u);
    EXPECT_EQ(frontend.boxes()[2].text, "T7");
    EXPECT_EQ(frontend.boxes()[2].caption, "T2");
    EXPECT_EQ(statusText(), "T7");
    EXPECT_EQ(status.kind(), StatusKind::Alert);
    EXPECT_EQ(view.editor().text, "3A") << "the cell's text when the editor was opened";
    EXPECT_EQ(view.editor().selectionLength, 2);
}

TEST_F(HexViewTest, TypingPastTheEndFillsTheGapWithErasedBytes) {
    const std::string ten("0123456789");
    load(ten);
    view.toggleEditMode(false);
    editAt(12);
    EXPECT_EQ(view.editor().text, "FF");
    view.typeIntoEditor('5');
    view.typeIntoEditor('7');
    EXPECT_EQ(file(), ten + std::string("\xFF\xFF\x57", 3));
    EXPECT_EQ(data.dataLength(), 13u);
    for (int k = 11; k <= 13; ++k) {
        EXPECT_EQ(view.cell(1, k).state, kCellChanged) << k;
        EXPECT_EQ(view.textColour(1, k), hexcolour::kChanged);
    }
    EXPECT_EQ(view.cell(1, 14).state, kCellOutside);
    std::uint64_t sum = 0;
    for (unsigned char c : file())
        sum += c;
    EXPECT_EQ(data.dataChecksum(), sum);
}

TEST_F(HexViewTest, ScrollingStopsAtTheLastPageAndWaitsForJobs) {
    chip = 16;
    load(std::string(30 * 16, 'a'));
    ASSERT_EQ(data.rows().total, 30u);
    EXPECT_EQ(view.scrollBar().maximum, 10);
    EXPECT_TRUE(view.scrollBar().enabled);
    for (int i = 0; i < 15; ++i)
        view.scroll(HexScroll::LineDown);
    EXPECT_EQ(view.viewStart(), 10u);
    EXPECT_EQ(view.scrollBar().position, 10);
    EXPECT_EQ(view.cell(1, 0).text, "000000A0");
    view.scroll(HexScroll::PageUp);
    EXPECT_EQ(view.viewStart(), 9u);
    view.scroll(HexScroll::Thumb, 11);
    EXPECT_EQ(view.viewStart(), 9u) << "past the last page";
    view.scroll(HexScroll::Thumb, 3);
    EXPECT_EQ(view.viewStart(), 3u);

    jobs.programRunning = true;
    view.scroll(HexScroll::LineDown);
    jobs.programRunning = false;
    jobs.verifyRunning = true;
    view.scroll(HexScroll::LineDown);
    jobs.verifyRunning = false;
    EXPECT_EQ(view.viewStart(), 3u);

    view.setFocusOwner(HexFocusOwner::Other);
    view.wheel(-120);
    EXPECT_EQ(view.viewStart(), 3u) << "the wheel needs the view's focus";
    view.setFocusOwner(HexFocusOwner::Grid);
    view.wheel(-120);
    EXPECT_EQ(view.viewStart(), 4u);
    view.wheel(120);
    view.wheel(120);
    EXPECT_EQ(view.viewStart(), 2u);

    load(std::string(20 * 16, 'a'));
    EXPECT_FALSE(view.scrollBar().enabled);
    view.scroll(HexScroll::LineDown);
    EXPECT_EQ(view.viewStart(), 0u);
}

TEST_F(HexViewTest, BytesBeyondTheChipAreBlueUnlessChanged) {
    chip = 64;
    load(std::string(128, 'q'));
    for (int offset = 0; offset < 128; ++offset) {
        const int r = rowOf(offset), k = columnOf(offset);
        EXPECT_EQ(view.cell(r, k).state, offset >= 64 ? kCellBeyondChip : kCellNormal) << offset;
    }
    EXPECT_EQ(view.textColour(5, 1), hexcolour::kBeyondChip);
    view.toggleEditMode(false);
    editAt(70);
    view.typeIntoEditor('0');
    EXPECT_EQ(view.cell(rowOf(70), columnOf(70)).state, kCellChanged);
    EXPECT_EQ(view.cell(rowOf(71), columnOf(71)).state, kCellBeyondChip);
    EXPECT_EQ(data.chipChecksum(), 64ull * 'q');
}

// Around the row count where the bar stops holding one step a row: the bar
// never reads past its 32767, and below it every row is one step.
TEST_F(HexViewTest, TheBarSwitchesToProportionalExactlyWhereRowsOutgrowIt) {
    for (const std::uint32_t rows : {kProportionalRows - 1, kProportionalRows}) {
        SCOPED_TRACE(rows);
        dir.write("u_mod1.dll", std::string(std::size_t{rows} * 16, 'p'));
        dir.write("ref.bin", std::string(std::size_t{rows} * 16, 'p'));
        openLoaded(0);
        ASSERT_EQ(data.rows().total, rows);
        view.scroll(HexScroll::Thumb,
                    rows == kProportionalRows ? kScrollLimit : static_cast<int>(rows - 20));
        EXPECT_EQ(view.viewStart() + 20, rows);
        EXPECT_EQ(view.scrollBar().position,
                  rows == kProportionalRows ? kScrollLimit : static_cast<int>(rows - 20));
        EXPECT_LE(view.scrollBar().position, view.scrollBar().maximum);
    }
}

TEST_F(HexViewTest, HugeDataMapsTheBarProportionally) {
    {
        const int fd = ::open(dir.file("u_mod1.dll").c_str(), O_CREAT | O_RDWR, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1ll << 30), 0);
        ::close(fd);
    }
    dir.write("ref.bin", "");
    openLoaded(0);  // a sparse file reads as zeros
    const std::uint64_t total = data.rows().total;
    ASSERT_EQ(total, (1ull << 30) / 16);
    EXPECT_EQ(view.scrollBar().maximum, kScrollLimit);
    for (int p : {1, 16384, 32766, 32767}) {
        view.scroll(HexScroll::Thumb, p);
        const auto expected = static_cast<std::uint64_t>(double(p) / 32767 * double(total - 20));
        EXPECT_EQ(view.viewStart(), expected) << p;
        const auto position =
            static_cast<int>(double(view.viewStart()) / double(total - 20) * 32767);
        EXPECT_EQ(view.scrollBar().position, position) << p;
    }
    EXPECT_EQ(view.viewStart() + 20, total);
    EXPECT_EQ(view.cell(20, 0).text, "3FFFFFF0");
    EXPECT_EQ(view.cell(20, 16).state, kCellChanged) << "no reference bytes there";

    view.scroll(HexScroll::Thumb, 0);
    EXPECT_TRUE(view.showAddress((1ull << 30) - 1));
    EXPECT_EQ(view.viewStart() + 20, total);
    EXPECT_EQ(view.focusRow(), 20);
    EXPECT_EQ(view.focusColumn(), 16);
}

TEST_F(HexViewTest, ShowAddressScrollsFocusesAndRefusesBeyondTheData) {
    load(std::string(4096, 'x'));
    EXPECT_FALSE(view.showAddress(4096));
    EXPECT_EQ(statusText(), "T55");
    EXPECT_EQ(status.kind(), StatusKind::Alert);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].caption, "T9");

    EXPECT_TRUE(view.showAddress(100));
    EXPECT_EQ(view.viewStart(), 0u) << "already in view";
    EXPECT_TRUE(view.showAddress(1000));
    EXPECT_EQ(view.viewStart(), 62u);
    EXPECT_EQ(view.focusRow(), 1);
    EXPECT_EQ(view.focusColumn(), 9);
    EXPECT_FALSE(view.editor().visible);

    view.toggleEditMode(false);
    EXPECT_TRUE(view.showAddress(4090));
    EXPECT_EQ(view.viewStart(), 256u - 20);
    ASSERT_TRUE(view.editor().visible);
    EXPECT_EQ(view.editor().row, 20);
    EXPECT_EQ(view.editor().column, 11);
    EXPECT_EQ(view.editor().selectionLength, 2);
}

// A short file with a large chip selected: the view may stand far past the
// data, and every jump still brings its byte into view.
TEST_F(HexViewTest, ShowAddressBringsTheByteOfShortDataIntoView) {
    chip = 65536;
    load(std::string(100, 'x'));
    view.toggleEditMode(false);
    for (int i = 0; i < 100; ++i)
        view.scroll(HexScroll::LineDown);
    ASSERT_EQ(view.viewStart(), 100u);
    for (const std::uint64_t offset : {10u, 0u, 99u, 15u, 16u}) {
        SCOPED_TRACE(offset);
        ASSERT_TRUE(view.showAddress(offset));
        EXPECT_EQ(view.viewStart(), 0u);
        EXPECT_EQ(view.focusRow(), static_cast<int>(offset / 16) + 1);
        EXPECT_EQ(view.focusColumn(), static_cast<int>(offset % 16) + 1);
        ASSERT_TRUE(view.editor().visible);
        EXPECT_EQ(view.editor().row, view.focusRow());
        EXPECT_EQ(view.editor().text, "78");
    }
}

TEST_F(HexViewTest, EditModeRefusesWithoutDataOrWhileProgrammingAndSwitchesBothWays) {
    view.toggleEditMode(true);
    EXPECT_FALSE(view.editMode());
    EXPECT_EQ(statusText(), "T4");
    EXPECT_EQ(frontend.beeps().size(), 1u);
    panel.setChecked(ids::kCheckEditMode, true);  // the box as the click left it
    view.toggleEditMode(false);
    EXPECT_EQ(frontend.beeps().size(), 1u) << "only the menu beeps";
    EXPECT_FALSE(panel.checked(ids::kCheckEditMode)) << "the box is set back";

    load("abcd");
    jobs.programRunning = true;
    panel.setChecked(ids::kCheckEditMode, true);  // the box as the click left it
    view.toggleEditMode(false);
    EXPECT_FALSE(view.editMode());
    EXPECT_FALSE(panel.checked(ids::kCheckEditMode)) << "the box is set back";
    jobs.programRunning = false;

    view.clickCell(1, 2, false);
    EXPECT_FALSE(view.editor().visible) << "no editor outside edit mode";
    view.toggleEditMode(false);
    EXPECT_TRUE(view.editMode());
    EXPECT_TRUE(panel.checked(ids::kCheckEditMode));
    EXPECT_TRUE(panel.menuChecked(ids::kCmdEditMode));
    EXPECT_FALSE(panel.menuGreyed(ids::kCmdFileFill));
    EXPECT_FALSE(view.focusMarkDrawn());
    EXPECT_EQ(statusText(), "T5");
    ASSERT_TRUE(view.editor().visible) << "opened on the focus cell";
    EXPECT_EQ(view.editor().text, "62");

    view.editorTextChanged("6F", 2);  // typed without the run-on: committed when leaving
    view.toggleEditMode(true);
    EXPECT_FALSE(view.editMode());
    EXPECT_EQ(file(), "aocd");
    EXPECT_FALSE(view.editor().visible);
    EXPECT_TRUE(panel.menuGreyed(ids::kCmdFileFill));
    EXPECT_FALSE(panel.menuChecked(ids::kCmdEditMode));
    EXPECT_FALSE(panel.checked(ids::kCheckEditMode));
    EXPECT_EQ(statusText(), "T6");
}

TEST_F(HexViewTest, TheEditorFollowsItsCellAcrossScrolls) {
    chip = 16;
    load(std::string(64 * 16, 'z'));
    view.toggleEditMode(false);
    view.clickCell(3, 5, false);
    for (int i = 0; i < 2; ++i)
        view.scroll(HexScroll::LineDown);
    ASSERT_TRUE(view.editor().visible);
    EXPECT_EQ(view.editor().row, 1);
    view.scroll(HexScroll::LineDown);
    EXPECT_FALSE(view.editor().visible);
    EXPECT_EQ(view.focusRow(), -1);
    view.scroll(HexScroll::Thumb, 1);
    ASSERT_TRUE(view.editor().visible);
    EXPECT_EQ(view.editor().row, 2);
    EXPECT_EQ(view.editor().column, 5);
    view.typeIntoEditor('0');
    view.typeIntoEditor('1');
    EXPECT_EQ(file()[2 * 16 + 4], '\x01');
}

TEST_F(HexViewTest, TypingOnTheLastCellScrollsOneRow) {
    chip = 16;
    load(std::string(40 * 16, 'z'));
    view.toggleEditMode(false);
    view.clickCell(20, 16, false);
    view.typeIntoEditor('1');
    view.typeIntoEditor('2');
    EXPECT_EQ(file()[19 * 16 + 15], '\x12');
    EXPECT_EQ(view.viewStart(), 1u);
    EXPECT_EQ(view.editor().row, 20);
    EXPECT_EQ(view.editor().column, 1);
    view.typeIntoEditor('3');
    view.typeIntoEditor('4');
    EXPECT_EQ(file()[20 * 16], '\x34');
}

// Random clicks, digits and scrolls against a plain vector of the data and a
// window computed from it.
// The window redraws from a listener, on its own thread when the worker
// changed the view: it must find the lock free and the operation finished.
TEST_F(HexViewTest, ListenersRunOnceAfterAnOperationWithTheLockReleased) {
    load(std::string("\x3A\x10\x20", 3));
    view.toggleEditMode(false);
    editAt(2);
    struct Seen {
        std::string cell, editorText;
        int editorColumn;
        std::uint32_t length;
    };
    std::vector<Seen> seen;
    std::vector<std::uint32_t> grownLengths;
    // A reader still waiting for the lock is kept, so the test fails instead of hanging.
    std::vector<std::future<HexViewSnapshot>> waiting;
    view.setChangeListener([&] {
        auto other = std::async(std::launch::async, [&] { return view.snapshot(); });
        if (other.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "the listener ran under the view's lock";
            waiting.push_back(std::move(other));
            return;
        }
        const HexViewSnapshot shot = other.get();
        seen.push_back(
            {shot.cell(1, 3).text, shot.editor.text, shot.editor.column, data.dataLength()});
    });
    view.setDataGrownListener([&] { grownLengths.push_back(data.dataLength()); });

    view.typeIntoEditor('4');
    view.typeIntoEditor('4');  // the last byte: the editor moves on past the end
    ASSERT_EQ(seen.size(), 2u) << "one call for each key, not one for each step";
    EXPECT_EQ(seen[0].cell, "40");
    EXPECT_EQ(seen[0].editorText, "40");
    EXPECT_EQ(seen[1].cell, "44");
    EXPECT_EQ(seen[1].editorColumn, 4) << "seen where the key left it";
    EXPECT_EQ(seen[1].editorText, "FF");
    EXPECT_EQ(grownLengths, (std::vector<std::uint32_t>{3, 3}));

    // An operation is whole to a reader on another thread: the snapshot waits.
    std::promise<void> painting, release;
    auto released = release.get_future().share();
    std::atomic<bool> armed{true};
    whilePainting = [&] {
        if (!armed.exchange(false))
            return;
        painting.set_value();
        released.wait();
    };
    std::thread worker([&] { view.refreshView(); });
    painting.get_future().wait();
    auto reader = std::async(std::launch::async, [&] { return view.snapshot(); });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "a snapshot was taken in the middle of a repaint";
    release.set_value();
    worker.join();
    reader.get();
    whilePainting = nullptr;

    // A listener may run another operation (a redraw that moves the focus).
    bool again = true;
    view.setChangeListener([&] {
        if (std::exchange(again, false))
            view.setFocusOwner(HexFocusOwner::Grid);
    });
    view.setFocusOwner(HexFocusOwner::ScrollBar);
    EXPECT_EQ(view.focusOwner(), HexFocusOwner::Grid);
    view.setChangeListener({});
}

TEST_F(HexViewTest, RandomEditsAndScrollsMatchAPlainModel) {
    chip = 2048;
    std::mt19937 random(20260506);
    std::vector<std::uint8_t> model(1000);
    for (auto& b : model)
        b = static_cast<std::uint8_t>(random());
    load(std::string(model.begin(), model.end()));
    const std::vector<std::uint8_t> reference = model;
    view.toggleEditMode(false);

    auto totalRows = [&] {
        return std::max<std::uint32_t>(static_cast<std::uint32_t>((model.size() + 15) / 16),
                                       chip / 16);
    };
    auto byteAt = [&](std::uint64_t offset) -> std::uint8_t {
        return offset < model.size() ? model[offset] : 0xFF;
    };
    auto write = [&](std::uint64_t offset, std::uint8_t value) {
        if (offset >= model.size())
            model.resize(offset + 1, 0xFF);
        model[offset] = value;
    };
    const char* digits = "0123456789ABCDEF";
    std::uint32_t start = 0;
    bool editing = false;
    std::uint64_t current = 0;

    auto check = [&](int step) {
        ASSERT_EQ(view.viewStart(), start) << step;
        ASSERT_EQ(data.dataLength(), model.size()) << step;
        for (int r = 1; r <= kViewRows; ++r) {
            std::string chars;
            for (int k = 1; k <= 16; ++k) {
                const std::uint64_t offset = (std::uint64_t{start} + r - 1) * 16 + k - 1;
                const std::uint8_t b = byteAt(offset);
                const bool differs = offset >= reference.size() || reference[offset] != b;
                const int expected = differs
                                         ? (offset >= model.size() ? kCellOutside : kCellChanged)
                                         : (offset >= chip ? kCellBeyondChip : kCellNormal);
                ASSERT_EQ(view.cell(r, k).text, hexByte(b)) << step << " " << offset;
                ASSERT_EQ(view.cell(r, k).state, expected) << step << " " << offset;
                chars += b >= 33 && b <= 126 ? static_cast<char>(b) : '.';
            }
            ASSERT_EQ(view.cell(r, kAsciiColumn).text, chars) << step;
        }
        const bool inView = editing && current / 16 >= start && current / 16 < start + 20u;
        ASSERT_EQ(view.editor().visible, inView) << step;
        if (inView) {
            ASSERT_EQ(view.editor().row, rowOf(current)) << step;
            ASSERT_EQ(view.editor().column, columnOf(current)) << step;
        }
    };

    for (int step = 0; step < 4000; ++step) {
        const int action = static_cast<int>(random() % 10);
        const bool editorShown = editing && current / 16 >= start && current / 16 < start + 20u;
        if (action < 2) {
            const int r = 1 + static_cast<int>(random() % 20),
                      k = 1 + static_cast<int>(random() % 16);
            const bool right = random() % 4 == 0;
            view.clickCell(r, k, right);
            current = (std::uint64_t{start} + r - 1) * 16 + k - 1;
            editing = true;
            if (right) {
                const std::uint8_t digit = static_cast<std::uint8_t>(random() % 16);
                view.typeIntoEditor(digits[digit]);
                write(current, static_cast<std::uint8_t>((byteAt(current) & 0xF0) | digit));
                ++current;
            }
        } else if (action < 6 && editorShown) {
            const auto high = static_cast<std::uint8_t>(random() % 16);
            const auto low = static_cast<std::uint8_t>(random() % 16);
            const std::uint64_t before = current;
            view.typeIntoEditor(static_cast<char>(std::tolower(digits[high])));
            if (before >= model.size() || byteAt(before) >> 4 != high)
                write(before, static_cast<std::uint8_t>((high << 4) | (byteAt(before) & 0x0F)));
            if (random() % 8 == 0)
                view.typeIntoEditor('Q');  // refused, nothing moves
            view.typeIntoEditor(digits[low]);
            write(before, static_cast<std::uint8_t>((high << 4) | low));
            current = before + 1;
            if (current / 16 >= start + 20u)
                ++start;
        } else if (action < 9) {
            const std::uint32_t total = totalRows();
            switch (random() % 3) {
                case 0:
                    view.scroll(HexScroll::LineDown);
                    if (total > 20 && start + 20 < total)
                        ++start;
                    break;
                case 1:
                    view.scroll(HexScroll::LineUp);
                    if (total > 20 && start > 0)
                        --start;
                    break;
                default: {
                    const int p = static_cast<int>(random() % (total + 5));
                    view.scroll(HexScroll::Thumb, p);
                    if (total > 20 && static_cast<std::uint32_t>(p) + 20 <= total)
                        start = static_cast<std::uint32_t>(p);
                }
            }
        } else {
            const std::uint64_t offset = random() % (model.size() + 40);
            const bool shownOk = view.showAddress(offset);
            ASSERT_EQ(shownOk, offset < model.size()) << step;
            if (shownOk) {
                if (model.size() > kWindowBytes) {
                    if (offset < std::uint64_t{start} * 16 ||
                        offset >= std::uint64_t{start} * 16 + 320)
                        start = static_cast<std::uint32_t>(offset / 16);
                    const auto rows = static_cast<std::int64_t>((model.size() + 15) / 16);
                    if (rows - start < 20)
                        start = static_cast<std::uint32_t>(rows - 20);
                }
                current = offset;
                editing = true;
            }
        }
        check(step);
        if (HasFatalFailure())
            return;
        if (step % 250 == 0) {
            ASSERT_EQ(file(), std::string(model.begin(), model.end())) << step;
        }
    }
    ASSERT_EQ(file(), std::string(model.begin(), model.end()));
    std::uint64_t sum = 0;
    for (auto b : model)
        sum += b;
    EXPECT_EQ(data.dataChecksum(), sum);
    EXPECT_GT(model.size(), 1000u) << "the random walk should have grown the data";
}

}  // namespace
}  // namespace nyra
