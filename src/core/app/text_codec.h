// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Conversions between the GBK code page of the text files and the UTF-8 that
// the program uses inside. Nothing here fails: bytes that cannot be converted
// are replaced, never dropped silently and never fatal.
namespace nyra {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// GBK bytes to UTF-8. A byte that does not start a valid GBK character
// becomes U+FFFD and decoding goes on with the next byte.
std::string gbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. A character that GBK cannot hold, and each byte of invalid
// UTF-8, becomes "?".
std::string utf8ToGbk(std::string_view utf8);

// The contents of a text file, as UTF-8: a file that is valid UTF-8 as a
// whole is taken as it is (without a leading byte order mark); any other file
// is GBK.
std::string textFileToUtf8(std::string_view bytes);

}  // namespace nyra
