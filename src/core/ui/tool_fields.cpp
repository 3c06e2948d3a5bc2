// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tool_fields.h"

#include "app/text_key.h"

namespace nyra {

namespace {

std::uint64_t parseField(const std::string& text, std::uint64_t base) {
    std::uint64_t value = 0;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        const std::uint64_t digit = (c >= 'A' && c <= 'Z') ? code - 55u : code - 48u;
        value = value * base + digit;
    }
    return value;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::uint64_t parseHexField(const std::string& text) {
    return parseField(text, 16);
}
std::uint64_t parseDecimalField(const std::string& text) {
    return parseField(text, 10);
}

bool fieldCharacterValid(FieldKind kind, char c) {
    if (c >= '0' && c <= '9')
        return true;
    return kind == FieldKind::Hex && c >= 'A' && c <= 'F';
}

CheckedField checkField(const ToolField& field, const std::string& text, int caret) {
    CheckedField result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = field.kind == FieldKind::Hex ? upper(text[i]) : text[i];
        // Every stray character goes, not only the one just typed: a pasted
        // "G1" would otherwise parse as 0x101.
        if (!fieldCharacterValid(field.kind, c)) {
            result.rejected = true;
            if (static_cast<int>(i) < caret)
                ++result.removedBeforeCaret;
            continue;
        }
        result.text += c;
    }
    if (result.text.size() > static_cast<std::size_t>(field.maxLength))
        result.text.resize(static_cast<std::size_t>(field.maxLength));
    return result;
}

FieldChecks::FieldChecks(Panel& panel, Frontend& frontend, const TextTable& texts,
                         std::span<const ToolField> fields)
    : panel_(panel), frontend_(frontend), texts_(texts), fields_(fields) {}

void FieldChecks::reset() {
    for (const ToolField& f : fields_)
        write(f.id, f.initial);
}

const ToolField* FieldChecks::field(int id) const {
    for (const ToolField& f : fields_) {
        if (f.id == id)
            return &f;
    }
    return nullptr;
}

void FieldChecks::changed(int id, int caret, const PutCaret& putCaret) {
    const ToolField* f = field(id);
    if (!f)
        return;
    if (skipNext_ == id) {
        skipNext_.reset();
        return;
    }
    const std::string text = panel_.text(id);
    if (text.empty())
        return;
    const CheckedField checked = checkField(*f, text, caret);
    if (checked.text == text)
        return;
    panel_.setText(id, checked.text);
    if (putCaret) {
        const int at = caret - checked.removedBeforeCaret;
        putCaret(std::min(at, static_cast<int>(checked.text.size())));
    }
    if (checked.rejected) {
        frontend_.messageBox(texts_.text(itext(8)), texts_.text(itext(9)), BoxIcon::Warning,
                             BoxButtons::Ok);
    }
}

void FieldChecks::write(int id, std::string text) {
    // The change notice of the program's own write is the one to skip.
    skipNext_ = id;
    panel_.setText(id, std::move(text));
    changed(id, static_cast<int>(panel_.text(id).size()));
}

}  // namespace nyra
