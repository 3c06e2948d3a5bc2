// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

// File dialog filters are written in the "label|patterns|...||" form; the
// Qt dialogs want "label (p1 p2);;...". The conversion lives here so that it
// can be tested without a GUI.
namespace nyra {

struct FileFilter {
    std::string label;
    std::vector<std::string> patterns;

    friend bool operator==(const FileFilter&, const FileFilter&) = default;
};

// Reads label/patterns pairs up to the "||" end (or the end of the text).
// Patterns are split at ";" and white space. A label without patterns, a
// pair with no usable pattern, and a trailing label without its pair are
// dropped; an empty label ends the list, as the double end marker does.
std::vector<FileFilter> parseFileFilter(std::string_view filter);

// "label (p1 p2);;...". A label that already ends in its own pattern list in
// parentheses keeps its wording, with the list rewritten space-separated; a
// bare "(p1;p2)" is named after its patterns, so that no entry is nameless.
// Patterns Qt could not read back (parentheses, non-ASCII) are left out.
std::string qtFilterString(const std::vector<FileFilter>& filters);
inline std::string qtFilterString(std::string_view filter) {
    return qtFilterString(parseFileFilter(filter));
}

// The path with ".ext" added when its file name has no extension. The
// default extension may be given as "bin", ".bin" or "*.bin"; a wildcard
// extension such as ".*" adds nothing.
std::string withDefaultExtension(std::string_view path, std::string_view defaultExtension);

}  // namespace nyra
