// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Only one copy of the program runs per user: the first copy holds an
// exclusive lock on a file named after the program in the user's runtime
// folder for as long as this object lives; the system drops the lock when
// the process ends, however it ends.
namespace nyra {

class SingleInstance {
public:
    static constexpr const char* kName = "KVQ_Nyra.exe";
    // The box a second copy shows before it ends (warning icon).
    static constexpr const char* kAlreadyRunningText = "KVQ_Nyra.exe is already exist！    ";
    static constexpr const char* kAlreadyRunningCaption = "提示";

    enum class Status { NotTried, Acquired, HeldElsewhere, Unavailable };

    // An empty folder means the user's runtime folder ($XDG_RUNTIME_DIR when
    // it is an absolute path, else /tmp with the user id in the file name).
    explicit SingleInstance(std::string folder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False only when another process holds the lock. A lock file that
    // cannot be made at all does not stop the program: it starts unguarded
    // (status Unavailable) rather than claim that another copy runs.
    bool tryAcquire();

    Status status() const { return status_; }
    bool held() const { return status_ == Status::Acquired; }
    const std::string& path() const { return path_; }

    static std::string defaultLockPath();

private:
    std::string path_;
    int fd_ = -1;
    Status status_ = Status::NotTried;
};

}  // namespace nyra
