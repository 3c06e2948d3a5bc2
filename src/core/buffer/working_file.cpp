// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/working_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/file_access.h"

namespace nyra {

WorkingFile::~WorkingFile() {
    close();
}

bool WorkingFile::openReadWrite(const std::string& path, bool create) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    path_ = fd_ >= 0 ? path : std::string();
    return fd_ >= 0;
}

bool WorkingFile::openReadOnly(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    path_ = fd_ >= 0 ? path : std::string();
    return fd_ >= 0;
}

void WorkingFile::close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool WorkingFile::isOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

std::size_t WorkingFile::readAt(std::uint64_t offset, std::uint8_t* buffer,
                                std::size_t count) const {
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return 0;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool WorkingFile::writeAt(std::uint64_t offset, const std::uint8_t* buffer, std::size_t count) {
    std::lock_guard lock(mutex_);
    return fd_ >= 0 && writeAllAt(fd_, buffer, count, offset);
}

std::uint64_t WorkingFile::length() const {
    std::lock_guard lock(mutex_);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

bool WorkingFile::flush() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0 && ::fsync(fd_) == 0;
}

}  // namespace nyra
