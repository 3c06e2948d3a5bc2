// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <filesystem>

// The number of descriptors this process has open; the same count before and
// after an operation shows that it left none behind.
inline int openDescriptorCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Closes standard input for the life of the object, as for a program started
// without one: the next file opened then gets descriptor 0.
class StandardInputClosed {
public:
    StandardInputClosed() : saved_(::dup(0)) { ::close(0); }
    ~StandardInputClosed() {
        if (saved_ >= 0) {
            ::dup2(saved_, 0);
            ::close(saved_);
        }
    }
    StandardInputClosed(const StandardInputClosed&) = delete;
    StandardInputClosed& operator=(const StandardInputClosed&) = delete;

private:
    int saved_;
};
