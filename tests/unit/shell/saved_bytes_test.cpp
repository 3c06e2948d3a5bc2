// SPDX-License-Identifier: GPL-3.0-or-later
// What the user typed, filled or loaded is what a save writes, into a file
// the user chose, and nothing the user did not ask for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/app_state_desk.h"
#include "tools/address_offset.h"

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n2=Catalogue\r\n9=Notice\r\n24=reserved name\r\n25=load failed\r\n"
    "29=Error\r\n116=saved\r\n117=saved data\r\n181=copying\r\n182=offset past the end\r\n"
    "183=no temp file\r\n189=file loaded\r\n";

std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

class SavedBytesTest : public testing::AppStateDesk<> {
protected:
    void SetUp() override {
        startUpWith(kItext);
        state.showAddressOffset = [this](AddressOffsetTool& tool) {
            if (!offsetPath.empty())
                tool.setPath(offsetPath);
            if (!offsetText.empty())
                tool.offsetEdited(offsetText, offsetText.size());
            offsetLoaded = tool.load();
        };
    }
    HexViewModel& view() { return state.hexView(); }
    void editMode() { state.command(kCmdEditMode); }
    void type(const std::string& keys) {
        for (const char key : keys)
            view().typeIntoEditor(key);
    }
    bool saved() { return state.panel().text(kStatusLine) == "saved"; }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : frontend.boxes())
            texts.push_back(box.text);
        return texts;
    }

    std::string offsetPath;
    std::string offsetText;
    bool offsetLoaded = false;
};

enum class Finish { Save, EnterThenSave, EditModeOffThenSave };

struct TypedEdit {
    const char* name;
    std::size_t length;
    std::uint64_t at;
    const char* keys;
    Finish finish;
    std::vector<std::pair<std::uint64_t, std::uint8_t>> changed;
    std::size_t savedLength;
};

void PrintTo(const TypedEdit& row, std::ostream* os) {
    *os << row.name;
}

class TypedEditRows : public SavedBytesTest, public ::testing::WithParamInterface<TypedEdit> {};

// The go-to opens the editor with both digits selected; each pair typed
// moves it to the next cell, past the end too.
TEST_P(TypedEditRows, TheSavedFileHoldsExactlyWhatWasTyped) {
    const TypedEdit& row = GetParam();
    const std::string original = pattern(row.length);
    const std::string path = dir.write("data.bin", original);
    ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    editMode();
    ASSERT_TRUE(view().showAddress(row.at));
    type(row.keys);
    if (row.finish == Finish::EnterThenSave)
        view().commitEdit();
    if (row.finish == Finish::EditModeOffThenSave)
        editMode();
    state.command(kCmdSaveFile);

    std::string expected = original;
    for (const auto& [offset, value] : row.changed) {
        if (offset >= expected.size())
            expected.resize(offset + 1, '\xFF');
        expected[offset] = static_cast<char>(value);
    }
    EXPECT_EQ(dir.read("data.bin"), expected);
    EXPECT_EQ(expected.size(), row.savedLength);
    EXPECT_EQ(state.dataBuffer().dataLength(), row.savedLength);
    EXPECT_TRUE(saved()) << state.panel().text(kStatusLine);
    // The change log names the typed bytes and no other.
    const std::string log = dir.read("log.txt");
    char past[16];
    std::snprintf(past, sizeof past, "[%08X]", static_cast<unsigned>(row.savedLength));
    EXPECT_EQ(log.find(past), std::string::npos) << log;
}

const TypedEdit kTypedEdits[] = {
    {"last_byte_then_save", 32, 0x1F, "22", Finish::Save, {{0x1F, 0x22}}, 32},
    {"last_byte_then_enter", 32, 0x1F, "22", Finish::EnterThenSave, {{0x1F, 0x22}}, 32},
    {"last_byte_then_edit_mode_off",
     32,
     0x1F,
     "22",
     Finish::EditModeOffThenSave,
     {{0x1F, 0x22}},
     32},
    {"two_past_the_last_byte", 32, 0x1F, "2233", Finish::Save, {{0x1F, 0x22}, {0x20, 0x33}}, 33},
    {"one_digit_then_save", 32, 0x10, "5", Finish::Save, {{0x10, 0x05}}, 32},
    {"row_end_into_next_row", 40, 0x0F, "A1B2", Finish::Save, {{0x0F, 0xA1}, {0x10, 0xB2}}, 40},
    {"one_byte_file", 1, 0, "7e", Finish::Save, {{0, 0x7E}}, 1},
    {"long_file_last_byte", 5000, 4999, "00", Finish::EnterThenSave, {{4999, 0x00}}, 5000},
};

INSTANTIATE_TEST_SUITE_P(Edits, TypedEditRows, ::testing::ValuesIn(kTypedEdits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SavedBytesTest, AnOffsetLoadsEditIsSavedIntoAFileTheUserChoseAndOutlivesTheClose) {
    const std::string bytes = pattern(10000);
    const std::string cap = dir.write("board.cap", bytes);
    ASSERT_FALSE(state.fileLoader().loadFile(cap, true));
    ASSERT_TRUE(offsetLoaded);
    editMode();
    ASSERT_TRUE(view().showAddress(0));
    type("EE");

    // No place chosen: nothing is called saved.
    frontend.cancelDialog();
    state.command(kCmdSaveFile);
    EXPECT_FALSE(saved());

    const std::string chosen = dir.file("tail.bin");
    frontend.chooseFile(chosen);
    state.command(kCmdSaveFile);
    EXPECT_TRUE(saved());
    std::string expected = bytes.substr(2048);
    expected[0] = '\xEE';
    EXPECT_EQ(dir.read("tail.bin"), expected);
    EXPECT_EQ(dir.read("board.cap"), bytes);
    EXPECT_EQ(state.fileLoader().loadedPath(), chosen);

    // A later edit is saved into the chosen file, without a question.
    ASSERT_TRUE(view().showAddress(1));
    type("DD");
    state.command(kCmdSaveFile);
    expected[1] = '\xDD';
    EXPECT_EQ(dir.read("tail.bin"), expected);

    state.worker().waitUntilIdle();
    EXPECT_TRUE(state.closeRequested());
    EXPECT_EQ(dir.read("tail.bin"), expected);
}

TEST_F(SavedBytesTest, ChipDataSavedUnderACapNameStaysWholeAndLoaded) {
    const std::string image = pattern(4096);
    dir.write("u_mod0.dll", image);
    ASSERT_TRUE(state.fileLoader().loadFile(dir.file("u_mod0.dll"), false));
    const std::string chosen = dir.file("chip.cap");
    frontend.chooseFile(chosen);
    state.command(kCmdSaveFile);
    EXPECT_TRUE(saved());
    EXPECT_EQ(dir.read("chip.cap"), image);
    EXPECT_EQ(state.dataBuffer().dataLength(), 4096u);
    EXPECT_EQ(state.fileLoader().loadedPath(), chosen);
    EXPECT_EQ(dir.read("u_mod1.dll"), image);
}

// Through a symbolic or a hard link the program's own files are still its own.
TEST_F(SavedBytesTest, TheProgramsImageFilesAreRefusedThroughLinks) {
    const std::string data = pattern(64);
    const std::string path = dir.write("data.bin", data);
    ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    dir.write("u_mod0.dll", "read image");
    std::filesystem::create_symlink(dir.file("u_mod1.dll"), dir.file("soft.bin"));
    std::filesystem::create_hard_link(dir.file("u_mod1.dll"), dir.file("hard.bin"));
    std::filesystem::create_symlink(dir.file("u_mod0.dll"), dir.file("image.bin"));
    for (const char* link : {"soft.bin", "hard.bin", "image.bin"}) {
        SCOPED_TRACE(link);
        frontend.clearRecord();
        frontend.chooseFile(dir.file(link));
        state.command(kCmdSaveAs);
        EXPECT_EQ(boxTexts(), std::vector<std::string>{"reserved name"});
        EXPECT_FALSE(saved());
        EXPECT_FALSE(state.fileLoader().loadFile(dir.file(link), true));
        EXPECT_EQ(dir.read("u_mod1.dll"), data);
        EXPECT_EQ(dir.read("u_mod0.dll"), "read image");
        EXPECT_EQ(state.dataBuffer().dataLength(), 64u);
        EXPECT_EQ(state.fileLoader().loadedPath(), path);
    }
}

TEST_F(SavedBytesTest, UnsavedEditsGoOnlyWhenTheUserSaysSo) {
    const std::string first = dir.write("first.bin", "0123456789");
    const std::string second = dir.write("second.bin", "abc");
    ASSERT_TRUE(state.fileLoader().loadFile(first, true));
    // Nothing edited: no question.
    ASSERT_TRUE(state.fileLoader().loadFile(first, true));
    EXPECT_TRUE(frontend.boxes().empty());
    editMode();
    ASSERT_TRUE(view().showAddress(3));
    type("FF");

    frontend.answerBox(BoxAnswer::No);
    frontend.chooseFile(second);
    state.command(kBtnBrowse);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(dir.read("u_mod1.dll"), std::string("012\xFF") + "456789");
    EXPECT_EQ(state.fileLoader().loadedPath(), first);

    // An offset load asks the same.
    frontend.answerBox(BoxAnswer::No);
    const std::string cap = dir.write("board.cap", pattern(3000));
    EXPECT_FALSE(state.fileLoader().loadFile(cap, true));
    EXPECT_FALSE(offsetLoaded);
    EXPECT_EQ(dir.read("u_mod1.dll"), std::string("012\xFF") + "456789");

    frontend.answerBox(BoxAnswer::Yes);
    frontend.chooseFile(second);
    state.command(kBtnBrowse);
    EXPECT_EQ(dir.read("u_mod1.dll"), "abc");
    EXPECT_EQ(dir.read("first.bin"), "0123456789");

    // Saved edits need no question.
    frontend.clearRecord();
    ASSERT_TRUE(view().showAddress(0));
    type("41");
    state.command(kCmdSaveFile);
    ASSERT_TRUE(state.fileLoader().loadFile(first, true));
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(SavedBytesTest, AFailedSecondOffsetLoadLeavesTheFirstAsItWas) {
    const std::string bytes = pattern(5000);
    ASSERT_FALSE(state.fileLoader().loadFile(dir.write("a.cap", bytes), true));
    ASSERT_TRUE(offsetLoaded);
    // The menu's window, on a plain file, at an offset past its end.
    offsetPath = dir.write("short.bin", "0123");
    offsetText = "99";
    state.command(kCmdOffsetProgram);
    EXPECT_FALSE(offsetLoaded);
    EXPECT_EQ(boxTexts().back(), "offset past the end");
    EXPECT_EQ(dir.read("temp/tempFile.bin"), bytes.substr(2048));
    EXPECT_EQ(dir.read("u_mod1.dll"), bytes.substr(2048));
    EXPECT_TRUE(state.dataBuffer().changedRange().empty());
    EXPECT_TRUE(state.panel().menuGreyed(kCmdSaveFile));
    for (int column = 1; column <= 16; ++column) {
        EXPECT_NE(view().cell(1, column).state, kCellChanged) << column;
    }
}

}  // namespace
}  // namespace nyra
