// SPDX-License-Identifier: GPL-3.0-or-later
#include "console_host.h"

#include <cstdio>

namespace nyra::cli {

std::string ConsoleHost::describe(TextKey key) const {
    const std::string& text = texts_.text(key);
    if (!text.empty())
        return text;
    return std::string(key.file == TextKey::File::Ftext ? "ftext " : "itext ") +
           std::to_string(key.key);
}

void ConsoleHost::statusAlert(TextKey text) {
    std::fprintf(stderr, "status: %s\n", describe(text).c_str());
}

void ConsoleHost::warningBox(TextKey text) {
    std::fprintf(stderr, "warning: %s\n", describe(text).c_str());
}

}  // namespace nyra::cli
