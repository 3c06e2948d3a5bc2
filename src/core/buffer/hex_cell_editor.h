// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace nyra {

// The cell editor as drawn: shown over one data cell or hidden.
struct HexEditor {
    bool visible = false;
    int row = -1, column = -1;
    std::string text;
    int selectionStart = 0, selectionLength = 0;
    // Counts the openings: each one gives the editor the focus, a redraw does not.
    std::uint64_t opening = 0;
};

// The cell editor: edit mode, the text over the cell and what the user typed
// into it. It decides what a key or a commit means; the view places it.
class HexCellEditor {
public:
    const HexEditor& state() const { return editor_; }
    bool editMode() const { return editMode_; }
    void setEditMode(bool on) { editMode_ = on; }
    // Open: it goes on editing its cell while scrolled out of sight.
    bool isOpen() const { return open_; }
    bool followsFocus() const { return open_ && editMode_; }

    // The text of the cell the editor starts on, put back when emptied.
    void setStartText(std::string text) { startText_ = std::move(text); }
    const std::string& startText() const { return startText_; }
    // Moved on to the next cell after a complete byte.
    void nextCell(std::string text) {
        startText_ = std::move(text);
        lastValid_.clear();
    }
    // A new cell: nothing typed into it yet.
    void untouched() { typed_ = false; }

    void open(int row, int column, const std::string& text, int selectionStart,
              int selectionLength);
    // Back over the cell at row, column as it was (after a scroll).
    void reopen(int row, int column);
    void close();
    // Out of sight, still open.
    void hide() { editor_.visible = false; }

    enum class Typed { Ignored, Emptied, NotHex, FirstDigit, Partial, Complete };
    // A change of the editor's text; caret -1 when it has none.
    Typed textChanged(const std::string& text, int caret);
    // The text and caret after key replaced the selection, upper case.
    std::pair<std::string, int> withKey(char key) const;

    // The text the cell had when the editor last opened, put back (its cell
    // scrolled out of view).
    const std::string& restoreOpenedText();
    // The byte to write for a cell that holds old (inData: inside the data),
    // or nothing: not typed into since the last commit, no digits, or the
    // same byte. Every call ends what was typed.
    std::optional<std::uint8_t> takeTypedByte(const std::string& value, std::uint8_t old,
                                              bool inData);

private:
    HexEditor editor_;
    HexEditor opened_;
    bool editMode_ = false;
    bool open_ = false;
    std::string startText_;
    std::string lastValid_;
    bool typed_ = false;
};

}  // namespace nyra
