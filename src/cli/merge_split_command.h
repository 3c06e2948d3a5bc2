// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace nyra::cli {

// Exit status of kvq-cli merge and split (2 is a usage error, as for every command).
inline constexpr int kExitFileToolDone = 0;
inline constexpr int kExitFileToolFailed =
    1;  // a file could not be opened, created, read or written
inline constexpr int kExitFileToolBadInput =
    3;  // no output name, or split points missing or malformed

// Joins inputs end to end into output, as the merge window's OK does: ".bin"
// is added when output's file name has no ".". The output's path goes to
// out; the program's texts (program folder's text set) to err.
int mergeCommand(const std::string& programFolder, const std::string& output,
                 const std::vector<std::string>& inputs, std::ostream& out, std::ostream& err);

// Cuts file at points, as the split window's OK does. Each piece's path goes
// to out; the program's texts to err.
int splitCommand(const std::string& programFolder, const std::string& file,
                 const std::string& points, std::ostream& out, std::ostream& err);

}  // namespace nyra::cli
