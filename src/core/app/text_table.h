// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/profile_reader.h"
#include "app/text_key.h"

// The interface texts: one table of UTF-8 strings filled once at start-up
// from "ftext.ini" and "itext.ini".
namespace nyra {

constexpr int kTextSlots = 345;
constexpr int kFtextEntries = 137;
constexpr int kFtextBase = 1;
constexpr int kItextEntries = 207;
constexpr int kItextBase = 138;

class TextTable {
public:
    // onMessage receives the read-error message of the profile reader.
    explicit TextTable(ProfileReader::MessageSink onMessage = {});

    // Considers at most `entries` key lines of the first section named
    // `section`; a numeric key k < entries stores its value in slot base + k,
    // later lines replacing earlier ones. A missing file or section changes
    // nothing.
    void loadTexts(const std::string& path, std::string_view section, int entries, int base);
    // folder + "ftext.ini", then folder + "itext.ini" ("/" is added to a
    // folder that does not end in one).
    void loadFrom(const std::string& folder);

    // ftext k (k < 137) or itext k (k < 207); any other key gives "".
    const std::string& text(TextKey key) const;
    const std::string& slot(int index) const;

private:
    ProfileReader::MessageSink onMessage_;
    std::array<std::string, kTextSlots> slots_;
};

}  // namespace nyra
