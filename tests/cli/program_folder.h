// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace nyra::cli::testing {

// The demo program folder of the build that runs the tests, if ctest says where.
inline std::optional<std::filesystem::path> demoFolder() {
    const char* binaryDir = std::getenv("NYRA_TEST_BINARY_DIR");
    if (binaryDir == nullptr)
        return std::nullopt;
    return std::filesystem::path(binaryDir) / "demo";
}

// The English text set as shipped.
inline std::filesystem::path englishTexts() {
    return std::filesystem::path(NYRA_LANG_DIR) / "en";
}

// A program folder of its own: the build's catalogue and the English texts.
// False (with the reason) when the build has no catalogue to copy.
inline bool fillProgramFolder(const TempDir& dir, std::string* why) {
    const auto demo = demoFolder();
    if (!demo) {
        *why = "NYRA_TEST_BINARY_DIR is set by ctest";
        return false;
    }
    if (!std::filesystem::exists(*demo / "database.dat")) {
        *why = "no database.dat in " + demo->string();
        return false;
    }
    namespace fs = std::filesystem;
    fs::copy_file(*demo / "database.dat", dir.file("database.dat"));
    for (const char* name : {"ftext.ini", "itext.ini"})
        fs::copy_file(englishTexts() / name, dir.file(name));
    return true;
}

}  // namespace nyra::cli::testing
