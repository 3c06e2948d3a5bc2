// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_cell_editor.h"

#include <algorithm>
#include <cctype>

#include "buffer/hex_digits.h"
#include "buffer/hex_painter.h"

namespace nyra {

void HexCellEditor::open(int row, int column, const std::string& text, int selectionStart,
                         int selectionLength) {
    editor_.visible = true;
    editor_.row = row;
    editor_.column = column;
    editor_.text = text;
    editor_.selectionStart = selectionStart;
    editor_.selectionLength = selectionLength;
    ++editor_.opening;
    open_ = true;
    opened_ = editor_;
}

void HexCellEditor::reopen(int row, int column) {
    open(row, column, editor_.text, editor_.selectionStart, editor_.selectionLength);
}

void HexCellEditor::close() {
    editor_.visible = false;
    open_ = false;
}

HexCellEditor::Typed HexCellEditor::textChanged(const std::string& text, int caret) {
    if (text.empty()) {
        editor_.text = startText_;
        lastValid_ = startText_;
        editor_.selectionStart = 0;
        editor_.selectionLength = static_cast<int>(startText_.size());
        return Typed::Emptied;
    }
    if (caret <= 0 || caret > static_cast<int>(text.size()))
        return Typed::Ignored;
    const int p = caret - 1;
    if (!isHexDigit(text[static_cast<std::size_t>(p)])) {
        editor_.text = lastValid_.empty() ? startText_ : lastValid_;
        editor_.selectionStart = p;
        editor_.selectionLength = 1;
        return Typed::NotHex;
    }
    editor_.text = text;
    editor_.selectionStart = caret;
    editor_.selectionLength = 0;
    lastValid_ = text;
    typed_ = true;
    if (p == 0)
        return Typed::FirstDigit;
    return text.size() == 2 ? Typed::Complete : Typed::Partial;
}

std::pair<std::string, int> HexCellEditor::withKey(char key) const {
    std::string t = editor_.text;
    const auto size = static_cast<int>(t.size());
    const int start = std::clamp(editor_.selectionStart, 0, size);
    const int length = std::clamp(editor_.selectionLength, 0, size - start);
    t.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(length), 1,
              static_cast<char>(std::toupper(static_cast<unsigned char>(key))));
    return {t, start + 1};
}

const std::string& HexCellEditor::restoreOpenedText() {
    editor_.text = opened_.text;
    return editor_.text;
}

std::optional<std::uint8_t> HexCellEditor::takeTypedByte(const std::string& value, std::uint8_t old,
                                                         bool inData) {
    // A text the typing checks let through could still be longer or odd
    // (Enter after a caret move); only its leading hex digits count.
    std::string digits;
    for (char c : value) {
        if (digits.size() == 2 || !isHexDigit(c))
            break;
        digits += c;
    }
    if (digits.size() == 1)
        digits.insert(digits.begin(), '0');
    // A cell the user did not type into is never written: after the last
    // byte the editor stands on the cell past the end with its "FF".
    const bool typed = typed_;
    typed_ = false;
    if (!typed || digits.empty() || (digits == hexview::byteText(old) && inData))
        return std::nullopt;
    return static_cast<std::uint8_t>(hexValue(digits[0]) * 16 + hexValue(digits[1]));
}

}  // namespace nyra
