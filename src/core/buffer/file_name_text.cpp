// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_name_text.h"

#include <cctype>

namespace nyra {

namespace {

std::size_t characters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

}  // namespace

std::string fileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string shortenedFileNameText(std::string_view path) {
    if (characters(path) <= kFileNameTextRoom)
        return std::string(path);
    // The first component, with its leading "/" when the path is absolute.
    const std::size_t firstEnd = path.find('/', path.starts_with('/') ? 1 : 0);
    if (firstEnd == std::string_view::npos)
        return std::string(path);
    const std::string_view head = path.substr(0, firstEnd);
    std::string_view rest = path.substr(firstEnd + 1);
    bool removed = false;
    while (characters(head) + characters(rest) > kFileNameTextRoom) {
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
        removed = true;
    }
    // Nothing could go: the path is shown whole rather than without its separator.
    if (!removed)
        return std::string(path);
    return std::string(head) + "/.../" + std::string(rest);
}

bool isProgramImageName(std::string_view path) {
    const std::string name = fileNamePart(path);
    return name == "u_mod0.dll" || name == "u_mod1.dll";
}

bool isCapFile(std::string_view path) {
    if (path.size() < 4)
        return false;
    const std::string_view end = path.substr(path.size() - 4);
    return end[0] == '.' && std::toupper(static_cast<unsigned char>(end[1])) == 'C' &&
           std::toupper(static_cast<unsigned char>(end[2])) == 'A' &&
           std::toupper(static_cast<unsigned char>(end[3])) == 'P';
}

}  // namespace nyra
