// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace nyra::cli {

extern const char* const kSerialsHelp;

// kvq-cli serials list | status | release: the IDs a series in a
// serial-number store gave out. words: what follows "serials".
int runSerials(const std::string& programFolder, const std::vector<std::string>& words,
               std::ostream& out, std::ostream& err);

}  // namespace nyra::cli
