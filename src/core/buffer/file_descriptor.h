// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/file_access.h"

namespace nyra {

// An open file descriptor, closed when it goes out of scope: the one place
// that reads, writes, flushes and closes the files the buffer keeps open.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Opens path with the open(2) flags (O_CLOEXEC added); false with errno set.
    bool open(const std::string& path, int flags, mode_t mode = 0644);
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

    // Up to count bytes from offset; fewer only at the end or on an error.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) const;
    // All count bytes at offset, or false with errno set.
    bool writeAt(std::uint64_t offset, const std::uint8_t* buffer, std::size_t count) const;
    // All count bytes after the current end, or false with errno set.
    bool append(const std::uint8_t* buffer, std::size_t count) const;
    // The length in bytes, 0 when closed or unknown.
    std::uint64_t length() const;
    bool truncate() const;
    // To the disk; a file system that cannot flush (EINVAL) counts as done.
    bool flush() const;
    // close() reports a write the file system could not finish.
    bool close();

private:
    int fd_ = -1;
};

// A whole chunk unless the file ends; -1 on a read error.
ssize_t readChunk(int fd, std::uint8_t* buffer, std::size_t count);

}  // namespace nyra
