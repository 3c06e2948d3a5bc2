// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace nyra::cli {

inline constexpr int kExitInfoDone = 0;
inline constexpr int kExitInfoFailed = 1;  // the file or the chip could not be used

// Prints what the window shows for a data file: its length, size text, data
// checksum and, for the chip named (by device name) or else the catalogue's
// first chip, the chip checksum. The catalogue is the program folder's.
int info(const std::string& programFolder, const std::string& file,
         const std::optional<std::string>& chip, std::ostream& out, std::ostream& err);

}  // namespace nyra::cli
