// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// How the program opens the files it reads and writes whole: nothing blocks
// on a FIFO or a device, and a file it writes is either all new or as it was.
namespace nyra {

// errno-like value for a path that names a FIFO, a device or a socket.
inline constexpr int kErrorNotRegularFile = 4096;

// The reason for an errno value (or kErrorNotRegularFile) as the messages show it.
std::string fileErrorText(int error);

// All count bytes at the file position, or false with errno set (0 when the
// system took nothing: a full disk).
bool writeAll(int fd, const std::uint8_t* buffer, std::size_t count);

// All count bytes at offset, or false with errno set (ENOSPC when the system
// took nothing).
bool writeAllAt(int fd, const std::uint8_t* buffer, std::size_t count, std::uint64_t offset);

// The bytes of a regular file; nothing when it cannot be measured.
std::optional<std::uint64_t> regularFileBytes(const std::string& path);

// Whether path names an existing file that is the file described by info.
bool isSameFile(const std::string& path, const struct stat& info);
// Whether both paths name one existing file (through links, hard links too).
bool isSameFile(const std::string& a, const std::string& b);

// Opens a regular file for reading without ever blocking (a FIFO, a device or
// a socket is refused with kErrorNotRegularFile, a folder with EISDIR); the
// descriptor, with info filled in, or -1 with errno set.
int openRegularFile(const std::string& path, struct stat& info);
// The same for appending, created when missing with create.
int openRegularForAppend(const std::string& path, bool create);

// A file written whole or not at all. The bytes go to a temporary file in the
// same folder; commit() flushes it to the disk and only then renames it over
// the path, so a failure, a stop or a signal before that leaves an existing
// file byte for byte as it was. A symbolic link is followed: its target is
// replaced. An existing file keeps its permissions.
class WholeFileWriter {
public:
    explicit WholeFileWriter(std::string path);
    ~WholeFileWriter();  // removes the temporary file unless committed
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    // Creates the temporary file; false with error() set.
    bool open();
    // All count bytes, or false with error() set.
    bool write(const std::uint8_t* bytes, std::size_t count);
    // Flushed, closed and renamed over the path; false with error() set, the
    // temporary file removed and the path untouched.
    bool commit();

    int fd() const { return fd_; }
    int error() const { return error_; }
    // The path as given, for messages.
    const std::string& path() const { return path_; }

private:
    bool fail(int error);
    void discard();

    std::string path_;
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int error_ = 0;
};

// Writes bytes as the whole file at path; 0, or the errno of what failed.
int writeWholeFile(const std::string& path, const std::uint8_t* bytes, std::size_t count);

}  // namespace nyra
