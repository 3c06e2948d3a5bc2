// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace nyra {

Descriptor::~Descriptor() {
    if (fd_ >= 0)
        ::close(fd_);
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
