// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace nyra {

SingleInstance::SingleInstance(std::string folder) {
    if (folder.empty()) {
        path_ = defaultLockPath();
    } else {
        if (folder.back() != '/')
            folder += '/';
        path_ = folder + kName + ".lock";
    }
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        close(fd_);  // closing drops the lock
}

std::string SingleInstance::defaultLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/" + kName + ".lock";
    return "/tmp/" + std::string(kName) + "-" + std::to_string(getuid()) + ".lock";
}

bool SingleInstance::tryAcquire() {
    if (status_ == Status::Acquired)
        return true;
    if (fd_ < 0) {
        // O_NOFOLLOW: in a shared folder such as /tmp another user could
        // plant a link to one of our files. O_CLOEXEC: programs we start must
        // not inherit the lock and keep it after we end.
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        struct stat st {};
        if (fd_ >= 0 && (fstat(fd_, &st) != 0 || st.st_uid != getuid())) {
            // Someone else's file: its owner could hold it to keep us out.
            close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0) {
            status_ = Status::Unavailable;
            return true;
        }
    }
    int rc;
    do {
        rc = flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        status_ = Status::Acquired;
        return true;
    }
    if (errno == EWOULDBLOCK) {
        status_ = Status::HeldElsewhere;
        return false;
    }
    status_ = Status::Unavailable;
    return true;
}

}  // namespace nyra
