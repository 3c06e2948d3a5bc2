// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_folder.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace nyra::cli {

namespace {

namespace fs = std::filesystem;

// The process that made a run folder, from its name ".kvq-cli-run-PID-XXXXXX".
pid_t ownerOf(const std::string& name) {
    const std::string prefix = RunFolder::kPrefix;
    if (!name.starts_with(prefix))
        return 0;
    pid_t pid = 0;
    for (std::size_t i = prefix.size(); i < name.size() && name[i] != '-'; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 100000000)
            return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

void removeLeftovers(const fs::path& folder) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const pid_t owner = ownerOf(entry.path().filename().string());
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    }
}

}  // namespace

RunFolder::RunFolder(const std::string& programFolder) {
    const fs::path folder = programFolder.empty() ? fs::path(".") : fs::path(programFolder);
    removeLeftovers(folder);
    std::string name =
        (folder / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr)
        path_ = buffer.data();
}

RunFolder::~RunFolder() {
    if (path_.empty())
        return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace nyra::cli
