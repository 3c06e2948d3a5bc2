// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nyra {

Descriptor::~Descriptor() {
    close();
}

bool Descriptor::open(const std::string& path, int flags, mode_t mode) {
    close();
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    return fd_ >= 0;
}

std::size_t Descriptor::readAt(std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t count) const {
    std::size_t done = 0;
    while (fd_ >= 0 && done < count) {
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

bool Descriptor::writeAt(std::uint64_t offset, const std::uint8_t* buffer,
                         std::size_t count) const {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    return writeAllAt(fd_, buffer, count, offset);
}

bool Descriptor::append(const std::uint8_t* buffer, std::size_t count) const {
    const off_t end = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : -1;
    return end >= 0 && writeAt(static_cast<std::uint64_t>(end), buffer, count);
}

std::uint64_t Descriptor::length() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

bool Descriptor::truncate() const {
    return fd_ >= 0 && ::ftruncate(fd_, 0) == 0;
}

bool Descriptor::flush() const {
    return fd_ >= 0 && (::fsync(fd_) == 0 || errno == EINVAL);
}

bool Descriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

ssize_t readChunk(int fd, std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace nyra
