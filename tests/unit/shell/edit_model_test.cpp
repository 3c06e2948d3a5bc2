// SPDX-License-Identifier: GPL-3.0-or-later
// Random user sessions against a plain model: a byte string, the editor as
// the user sees it, and the files on disk. Loads, go-to, typing, edit mode,
// fills, Save and Save As run through the real program; after every step
// the working data, its length and checksum, the focus and every file the
// session wrote must be what the model says. A third of the seeds have no
// chip, a third a 64 KiB chip (the view runs far past short data) and a
// third a 256-byte one (longer data runs past the chip).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "buffer/data_buffer.h"
#include "catalogue/catalogue_tools.h"
#include "support/app_state_desk.h"

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kItext =
    "[itext]\r\n0=no file\r\n2=Catalogue\r\n9=Notice\r\n24=reserved name\r\n25=load failed\r\n"
    "29=Error\r\n55=beyond the data\r\n116=saved\r\n189=file loaded\r\n";

constexpr const char* kCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n@W25X05(CL):256:4:64KB:N:300:EF3010:000000:3.3V:000\r\n"
    "$24 EEPROM\r\n#GENERIC:\r\n@24C02:8:N:256B:A0:100:000000:000000:5:100\r\n";

int digitValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

std::string hex2(std::uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

class EditModel : public testing::AppStateDesk<::testing::TestWithParam<unsigned>> {
protected:
    void SetUp() override {
        chipSize = GetParam() % 3 == 0 ? 0 : GetParam() % 3 == 1 ? 65536 : 256;
        if (chipSize != 0) {
            const BuildResult built = buildDatabase(kCatalogue);
            ASSERT_TRUE(built.errors.empty());
            dir.write("database.dat", std::string(built.database.begin(), built.database.end()));
        }
        startUpWith(kItext);
        if (chipSize == 256) {
            state.panel().setCurrentIndex(kListChipType, 1);
            state.command(kListChipType);
        }
        ASSERT_EQ(state.selection().chipSize(), chipSize);
        state.showFileFillWindow = [](FileFillWindow&) {};
    }

    // The editor as the user sees it: the cell it is on and its text.
    struct Editor {
        std::uint64_t offset = 0;
        std::string text;
        bool wholeSelected = false;  // after a go-to both digits are selected
        bool secondDigit = false;    // the first digit was typed
    };

    std::uint8_t byteAt(std::uint64_t offset) const {
        return offset < bytes.size() ? static_cast<std::uint8_t>(bytes[offset]) : 0xFF;
    }
    void write(std::uint64_t offset, std::uint8_t value) {
        if (offset < bytes.size() && byteAt(offset) == value)
            return;  // the same byte again writes nothing
        if (offset >= bytes.size())
            bytes.resize(offset + 1, '\xFF');
        bytes[offset] = static_cast<char>(value);
        unsaved = true;
    }

    void loadRandomFile() {
        // Short data (one window or less) half the time: it has its own paths.
        const std::size_t length = random() % (random() % 2 ? 5001 : 401);
        std::string content(length, '\0');
        for (auto& c : content)
            c = static_cast<char>(random() % 4 == 0 ? 0xFF : random());
        const std::string path = dir.write("in" + std::to_string(step) + ".bin", content);
        const bool yes = random() % 3 != 0;
        if (unsaved)
            frontend.answerBox(yes ? BoxAnswer::Yes : BoxAnswer::No);
        frontend.chooseFile(path);
        state.command(kBtnBrowse);
        if (unsaved && !yes)
            return;
        bytes = content;
        loadedPath = path;
        unsaved = false;
        editor.reset();
        focus.reset();
    }
    void goTo() {
        const std::uint64_t offset = random() % (bytes.size() + 3);
        const bool shown = state.hexView().showAddress(offset);
        ASSERT_EQ(shown, offset < bytes.size()) << offset;
        if (!shown)
            return;
        focus = offset;
        if (editMode)
            editor = Editor{offset, hex2(byteAt(offset)), true, false};
    }
    void typeDigit() {
        const char digit = "0123456789ABCDEF"[random() % 16];
        state.hexView().typeIntoEditor(
            static_cast<char>(random() % 2 ? digit : std::tolower(digit)));
        if (!editor)
            return;
        Editor& e = *editor;
        if (!e.secondDigit) {
            // The digit replaces the selection: both digits, or the first.
            e.text = e.wholeSelected ? std::string(1, digit) : digit + e.text.substr(1);
            const int low = e.text.size() == 1 ? digitValue(digit) : digitValue(e.text[1]);
            const int high = e.text.size() == 1 ? 0 : digitValue(digit);
            write(e.offset, static_cast<std::uint8_t>(high * 16 + low));
            e.secondDigit = true;
            return;
        }
        const char first = e.text[0];
        write(e.offset, static_cast<std::uint8_t>(digitValue(first) * 16 + digitValue(digit)));
        // On to the next cell, past the end too.
        const std::uint64_t next = e.offset + 1;
        e = Editor{next, hex2(byteAt(next)), false, false};
        focus = next;
    }
    // The bar anywhere (far past short data with a big chip), then a go-to
    // must bring its byte back into view.
    void scrollAway() {
        const HexScrollBar& bar = state.hexView().scrollBar();
        state.hexView().scroll(
            HexScroll::Thumb, bar.maximum > 0 ? static_cast<int>(random() % (bar.maximum + 1)) : 0);
        focus.reset();
        editor.reset();
        goTo();
    }
    void toggleEditMode() {
        state.command(kCmdEditMode);
        editMode = !editMode;
        editor.reset();
        if (editMode && focus)
            editor = Editor{*focus, hex2(byteAt(*focus)), false, false};
    }
    void fill() {
        // Inside the data or past its end; empty fills too.
        const std::uint64_t at =
            random() % 2 ? random() % (bytes.size() + 1) : bytes.size() + random() % 40;
        const std::uint64_t count = random() % 4 == 0 ? 0 : random() % 50;
        const auto value = static_cast<std::uint8_t>(random());
        Panel& p = state.fileFillWindow().panel();
        char address[16];
        std::snprintf(address, sizeof address, "%X", static_cast<unsigned>(at));
        p.setText(kFileFillAddress, address);
        p.setText(kFileFillLength, std::to_string(count));
        p.setText(kFileFillData, hex2(value));
        state.fileFillWindow().fill();
        if (!editMode)
            return;  // a fill needs edit mode
        if (count > 0 || at > bytes.size())
            unsaved = true;
        if (at + count > bytes.size())
            bytes.resize(at + count, '\xFF');
        for (std::uint64_t i = at; i < at + count; ++i)
            bytes[i] = static_cast<char>(value);
    }
    void save() {
        state.command(kCmdSaveFile);
        disk[loadedPath] = bytes;
        unsaved = false;
        editor.reset();  // the save commits the editor and closes it
    }
    void saveAs() {
        const std::string path = dir.file("copy" + std::to_string(step % 3) + ".bin");
        frontend.chooseFile(path);
        state.command(kCmdSaveAs);
        disk[path] = bytes;
        editor.reset();
    }

    void check() {
        ASSERT_EQ(state.dataBuffer().dataLength(), bytes.size());
        ASSERT_EQ(dir.read("u_mod1.dll"), bytes);
        std::uint64_t sum = 0;
        for (const char c : bytes)
            sum += static_cast<std::uint8_t>(c);
        ASSERT_EQ(state.panel().text(kTextFileChecksum), formatChecksum(sum));
        if (chipSize != 0 && state.dataBuffer().isLoaded()) {
            // What the chip would hold: the data cut to the chip, then erased bytes.
            std::uint64_t chipSum = 0;
            for (std::size_t i = 0; i < chipSize; ++i)
                chipSum += i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0xFF;
            ASSERT_EQ(state.panel().text(kTextChipChecksum), formatChecksum(chipSum));
        }
        for (const auto& [path, content] : disk) {
            ASSERT_EQ(dir.read(path.substr(dir.folder().size())), content) << path;
        }
        const HexViewModel& view = state.hexView();
        if (focus) {
            ASSERT_GE(view.focusRow(), 1);
            ASSERT_LE(view.focusRow(), 20);
            const std::uint64_t shown =
                (std::uint64_t{view.viewStart()} + view.focusRow() - 1) * 16 +
                static_cast<unsigned>(view.focusColumn() - 1);
            ASSERT_EQ(shown, *focus);
        }
        if (editor) {
            ASSERT_TRUE(view.editor().visible);
        }
    }

    std::mt19937 random;
    std::uint32_t chipSize = 0;
    int step = 0;
    std::string bytes;
    std::string loadedPath;
    bool unsaved = false;
    bool editMode = false;
    std::optional<Editor> editor;
    std::optional<std::uint64_t> focus;
    std::map<std::string, std::string> disk;
};

TEST_P(EditModel, TwoHundredRandomActionsKeepTheDataTheFilesAndTheFocusTrue) {
    random.seed(GetParam());
    loadRandomFile();
    for (step = 1; step <= 200; ++step) {
        const unsigned action = random() % 100;
        SCOPED_TRACE("step " + std::to_string(step) + ", action " + std::to_string(action));
        if (action < 5)
            loadRandomFile();
        else if (action < 15)
            goTo();
        else if (action < 20)
            scrollAway();
        else if (action < 70)
            typeDigit();
        else if (action < 76)
            toggleEditMode();
        else if (action < 84)
            fill();
        else if (action < 94)
            save();
        else
            saveAs();
        ASSERT_NO_FATAL_FAILURE(check());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, EditModel, ::testing::Range(1u, 21u));

}  // namespace
}  // namespace nyra
