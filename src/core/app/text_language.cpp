// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_language.h"

#include <cstdint>

#include "app/text_table.h"

namespace nyra {

namespace {

bool lower(char c) {
    return c >= 'a' && c <= 'z';
}
bool upper(char c) {
    return c >= 'A' && c <= 'Z';
}

// True when the UTF-8 text holds a CJK ideograph (the unified block or its
// extension A). Invalid sequences are skipped byte by byte.
bool holdsHan(std::string_view text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<std::uint8_t>(text[i]);
        const auto b1 = static_cast<std::uint8_t>(text[i + 1]);
        const auto b2 = static_cast<std::uint8_t>(text[i + 2]);
        if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80)
            continue;
        const std::uint32_t code = (b0 & 0x0Fu) << 12 | (b1 & 0x3Fu) << 6 | (b2 & 0x3Fu);
        if ((code >= 0x3400 && code <= 0x4DBF) || (code >= 0x4E00 && code <= 0x9FFF))
            return true;
    }
    return false;
}

}  // namespace

bool isLocaleName(std::string_view name) {
    std::size_t letters = 0;
    while (letters < name.size() && lower(name[letters]))
        ++letters;
    if (letters < 2 || letters > 3)
        return false;
    const std::string_view region = name.substr(letters);
    return region.empty() ||
           (region.size() == 3 && region[0] == '_' && upper(region[1]) && upper(region[2]));
}

std::string textLanguage(const TextTable& texts) {
    const std::string& named = texts.text(kTextLanguageKey);
    if (isLocaleName(named))
        return named;
    for (int slot = 0; slot < kTextSlots; ++slot) {
        if (holdsHan(texts.slot(slot)))
            return "zh_CN";
    }
    return {};
}

std::string inTextLanguage(const TextTable& texts, std::string_view chinese,
                           std::string_view english) {
    return std::string(textLanguage(texts).starts_with("zh") ? chinese : english);
}

}  // namespace nyra
