// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What the merge and split tools share: copying in small chunks and telling
// whether a file about to be emptied is one that is being read.
namespace nyra {

class TextTable;

inline constexpr std::size_t kFileToolChunk = 1024;

// How a copy between two open files ended.
enum class CopyEnd : unsigned char { Done, ReadFailed, WriteFailed };

struct CopyResult {
    CopyEnd end = CopyEnd::Done;
    int error = 0;  // errno of the failed read or write
    std::uint64_t copied = 0;
};

// Copies from the file position of from to that of to until the end of from.
CopyResult copyToEnd(int from, int to);
// Copies exactly count bytes; a file that ends before them is a read failure.
CopyResult copyCount(int from, int to, std::uint64_t count);

// Copies the file from into the file to, written whole (WholeFileWriter).
struct WholeCopy {
    int error = 0;             // 0, or the errno of what failed
    std::string failedPath{};  // from or to, whichever failed
    std::uint64_t bytes = 0;
};
WholeCopy copyWholeFile(const std::string& from, const std::string& to);

// A regular file opened for reading only (no other program is kept out), or
// -1 with errno set; a folder gives EISDIR, a FIFO or a device
// kErrorNotRegularFile, and nothing blocks.
int openForReading(const std::string& path, struct stat& info);
// A working file created or emptied for writing, or -1 with errno set. The
// user's own files are written whole instead (WholeFileWriter).
int createEmpty(const std::string& path);

// "text\npath\nreason", as the program's file messages read.
std::string fileMessage(const std::string& text, const std::string& path,
                        const std::string& reason);
std::string errnoText(int error);

// No text of the sets holds these; they follow the language of the texts.
// The folder browser's title:
std::string chooseFolderTitle(const TextTable& texts);
// Why a file that is being read is not emptied to write into it:
std::string readFileText(const TextTable& texts);

}  // namespace nyra
