// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nyra {

// Room of the file-name box beside the browse button.
inline constexpr std::size_t kFileNameTextRoom = 53;

// The part after the last "/" (the whole path when it has none).
std::string fileNamePart(std::string_view path);

// A path longer than the box keeps its first component and its end: leading
// folders after the first one give way to "/.../" until the rest fits or
// only the file name is left. Lengths count characters, not UTF-8 bytes.
std::string shortenedFileNameText(std::string_view path);

// The program's own image files may never be chosen as data.
bool isProgramImageName(std::string_view path);

// A ".cap" file (any case) goes to the address-offset tool instead.
bool isCapFile(std::string_view path);

}  // namespace nyra
