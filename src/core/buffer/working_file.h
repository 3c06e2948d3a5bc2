// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "buffer/file_descriptor.h"

namespace nyra {

// A file of the data buffer, read and written at byte offsets. The window
// thread (view, edits, saves) and the worker (program, verify) share one
// object; each call is whole under its lock, so a read never sees another
// thread's seek.
class WorkingFile {
public:
    WorkingFile() = default;
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    // Opens for reading and writing (created when missing with create).
    bool openReadWrite(const std::string& path, bool create = false);
    // Opens for reading only.
    bool openReadOnly(const std::string& path);
    void close();
    bool isOpen() const;
    const std::string& path() const { return path_; }

    // Up to count bytes from offset into buffer; the count read (0 when closed
    // or at the end). Bytes not read keep what the caller put there.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) const;
    // All count bytes at offset, or false.
    bool writeAt(std::uint64_t offset, const std::uint8_t* buffer, std::size_t count);
    // The length in bytes, 0 when closed.
    std::uint64_t length() const;
    // To the disk; the bytes do not change, so readers may ask for it.
    bool flush() const;

private:
    mutable std::mutex mutex_;
    Descriptor file_;
    std::string path_;
};

}  // namespace nyra
