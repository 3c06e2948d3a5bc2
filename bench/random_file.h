// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace nyra::bench {

// A file of pseudo-random bytes (whole MiB), on disk as a user's file would
// be, so that no benchmark pays for writing it back later.
inline bool writeRandomFile(const std::string& path, std::size_t bytes, unsigned seed) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> chunk((1u << 20) / sizeof(std::uint64_t));
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes; done += 1u << 20) {
        std::generate(chunk.begin(), chunk.end(), random);
        ok = ::write(fd, chunk.data(), 1u << 20) == (1 << 20);
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

}  // namespace nyra::bench
