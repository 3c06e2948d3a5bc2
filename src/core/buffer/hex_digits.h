// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace nyra {

// Upper-case hex digits, as the editor and the find window take them.
constexpr bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

constexpr int hexValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

}  // namespace nyra
