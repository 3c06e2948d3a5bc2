// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace nyra::cli {

// The working files of one kvq-cli run (u_mod0.dll, u_mod1.dll, temp): a
// folder of its own in the program folder, so that two runs, or a run beside
// the window, never read or write each other's data. Removed when the run
// ends; folders left by runs that were killed are removed by the next run.
class RunFolder {
public:
    explicit RunFolder(const std::string& programFolder);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Empty when no folder could be made: the run then uses the program folder's files.
    const std::string& path() const { return path_; }

    static constexpr const char* kPrefix = ".kvq-cli-run-";

private:
    std::string path_;
};

}  // namespace nyra::cli
