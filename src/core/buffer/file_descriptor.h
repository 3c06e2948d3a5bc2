// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "app/file_access.h"

namespace nyra {

// An open file descriptor, closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // close() reports a write the file system could not finish.
    bool close();

private:
    int fd_;
};

// A whole chunk unless the file ends; -1 on a read error.
ssize_t readChunk(int fd, std::uint8_t* buffer, std::size_t count);

}  // namespace nyra
