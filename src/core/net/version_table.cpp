// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/version_table.h"

#include <cstdio>

namespace nyra {

std::string nibbleVersion(std::uint8_t high, std::uint8_t low) {
    char text[16];
    std::snprintf(text, sizeof text, "%X.%X", static_cast<unsigned>(high),
                  static_cast<unsigned>(low));
    return text;
}

ListWindow versionWindow(const TextTable& texts, const std::string& webAddress,
                         std::array<std::uint8_t, 2> document,
                         std::optional<std::uint8_t> firmware) {
    const auto version = [](std::uint8_t byte) {
        return nibbleVersion(static_cast<std::uint8_t>(byte >> 4), byte & 0x0F);
    };
    ListWindow window;
    window.line = webAddress;
    window.columns = {{" ", 70},
                      {texts.text(itext(122)), 70},
                      {texts.text(itext(123)), 70},
                      {texts.text(itext(201)), 120}};

    const std::string programNote =
        document[0] <= kProgramVersion ? texts.text(itext(126)) : texts.text(itext(125));
    window.rows.push_back(
        {texts.text(itext(120)), version(kProgramVersion), version(document[0]), programNote});

    std::string current = "NULL";
    std::string note = "NULL";
    if (firmware) {
        // The programmer counts its major version from 0.
        const unsigned v = *firmware;
        current = nibbleVersion(static_cast<std::uint8_t>(v / 16 + 1), v % 16);
        note = v + 16 < document[1] ? texts.text(itext(127)) : texts.text(itext(128));
    }
    window.rows.push_back({texts.text(itext(121)), current, version(document[1]), note});
    return window;
}

}  // namespace nyra
