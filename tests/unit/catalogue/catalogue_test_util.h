// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace nyra::test {

// Catalogue text with every line ended CR LF, as stored.
inline std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const auto line : lines) {
        text.append(line);
        text.append("\r\n");
    }
    return text;
}

// The committed catalogue source, found from this file's place in the tree.
inline std::filesystem::path shippedCatalogueSource() {
    return std::filesystem::path(__FILE__).parent_path() / ".." / ".." / ".." / "data" /
           "catalogue" / "catalogue.txt";
}

}  // namespace nyra::test
