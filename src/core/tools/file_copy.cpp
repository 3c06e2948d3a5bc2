// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "app/file_access.h"
#include "app/text_language.h"
#include "app/text_table.h"
#include "buffer/file_descriptor.h"

namespace nyra {

namespace {

CopyResult copy(int from, int to, std::uint64_t limit, bool exact) {
    std::array<std::uint8_t, kFileToolChunk> chunk{};
    CopyResult result;
    while (result.copied < limit) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), limit - result.copied));
        const ssize_t got = readChunk(from, chunk.data(), want);
        if (got < 0) {
            result.end = CopyEnd::ReadFailed;
            result.error = errno;
            return result;
        }
        if (got > 0 && !writeAll(to, chunk.data(), static_cast<std::size_t>(got))) {
            result.end = CopyEnd::WriteFailed;
            // A write that takes nothing sets no errno; it means a full disk.
            result.error = errno != 0 ? errno : ENOSPC;
            return result;
        }
        result.copied += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < want) {
            if (exact) {
                // The file got shorter while it was being read.
                result.end = CopyEnd::ReadFailed;
                result.error = ENODATA;
            }
            return result;
        }
    }
    return result;
}

}  // namespace

CopyResult copyToEnd(int from, int to) {
    return copy(from, to, UINT64_MAX, false);
}

CopyResult copyCount(int from, int to, std::uint64_t count) {
    return copy(from, to, count, true);
}

WholeCopy copyWholeFile(const std::string& from, const std::string& to) {
    WholeCopy result;
    struct stat info {};
    Descriptor in(openForReading(from, info));
    if (in.get() < 0) {
        result.error = errno;
        result.failedPath = from;
        return result;
    }
    WholeFileWriter out(to);
    if (!out.open()) {
        result.error = out.error();
        result.failedPath = to;
        return result;
    }
    const CopyResult copied = copyToEnd(in.get(), out.fd());
    result.bytes = copied.copied;
    if (copied.end != CopyEnd::Done) {
        result.error = copied.error;
        result.failedPath = copied.end == CopyEnd::ReadFailed ? from : to;
        return result;
    }
    if (!out.commit()) {
        result.error = out.error();
        result.failedPath = to;
    }
    return result;
}

int openForReading(const std::string& path, struct stat& info) {
    return openRegularFile(path, info);
}

int createEmpty(const std::string& path) {
    errno = 0;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

std::string fileMessage(const std::string& text, const std::string& path,
                        const std::string& reason) {
    return text + "\n" + path + "\n" + reason;
}

std::string errnoText(int error) {
    return fileErrorText(error);
}

std::string chooseFolderTitle(const TextTable& texts) {
    return inTextLanguage(texts, "请选择目录:", "Choose a folder:");
}

std::string readFileText(const TextTable& texts) {
    return inTextLanguage(texts, "这是正在读取的文件，不能覆盖。",
                          "This is a file being read; it is not overwritten.");
}

}  // namespace nyra
