// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/text_table.h"
#include "ui/frontend.h"
#include "ui/panel.h"

// The number fields of the small buffer and chip tools: what each holds, and
// the check every change of one goes through.
namespace nyra {

enum class FieldKind : std::uint8_t { Hex, Decimal };

struct ToolField {
    int id;
    FieldKind kind;
    int maxLength;
    const char* initial;
};

// Parsed from the left as the tools always have: each character shifts the
// value by one digit, a letter counting as its code minus 55 and anything
// else as its code minus 48. The checks keep other characters out.
std::uint64_t parseHexField(const std::string& text);
std::uint64_t parseDecimalField(const std::string& text);

bool fieldCharacterValid(FieldKind kind, char c);

// The text after the checks: hex letters in upper case, characters of the
// wrong kind removed, at most maxLength characters. removedBeforeCaret says
// how far the caret moves back.
struct CheckedField {
    std::string text;
    int removedBeforeCaret = 0;
    bool rejected = false;  // a character of the wrong kind was removed
};
CheckedField checkField(const ToolField& field, const std::string& text, int caret);

// The fields of one tool window and their checks.
class FieldChecks {
public:
    using PutCaret = std::function<void(int caret)>;

    FieldChecks(Panel& panel, Frontend& frontend, const TextTable& texts,
                std::span<const ToolField> fields);

    // Every field back to its start value.
    void reset();
    const ToolField* field(int id) const;

    // A change of field id, with the caret where the change left it. A
    // rejected character is removed, the caret put back where it stood and
    // the person told (itext 8).
    void changed(int id, int caret, const PutCaret& putCaret = {});
    // The program writes a field: its own text is not checked.
    void write(int id, std::string text);

private:
    Panel& panel_;
    Frontend& frontend_;
    const TextTable& texts_;
    std::span<const ToolField> fields_;
    std::optional<int> skipNext_;  // the field the program just wrote
};

}  // namespace nyra
