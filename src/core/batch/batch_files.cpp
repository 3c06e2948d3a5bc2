// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batch_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "app/file_access.h"
#include "buffer/file_descriptor.h"
#include "tools/file_copy.h"

namespace nyra {

namespace {

constexpr std::size_t kChunk = 65536;
constexpr const char* kOutputIsInput =
    "The file to make is one of the files it is made from; it is not overwritten.";
constexpr const char* kBadIdLength = "An ID is 1, 2 or 4 bytes long.";

BatchFileResult failed(const std::string& path, int error) {
    return {false, path, error, {}};
}

BatchFileResult refused(const std::string& path, const char* why) {
    return {false, path, 0, why};
}

bool validIdLength(int idLength) {
    return idLength == 1 || idLength == 2 || idLength == 4;
}

// Creating the output empties it: it must not be an input under this or
// another name (a link, "./").
bool outputIsInput(const std::string& output, const std::string& input) {
    struct stat info {};
    return output == input || (::stat(input.c_str(), &info) == 0 && isSameFile(output, info));
}

// Writes count bytes of 0xFF at the file's position.
bool writeErased(int fd, std::uint64_t count) {
    const std::vector<std::uint8_t> erased(kChunk, 0xFF);
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count));
        if (!writeAll(fd, erased.data(), n))
            return false;
        count -= n;
    }
    return true;
}

// The main document into a new temporary file, 0xFF up to at least length.
BatchFileResult copyPadded(const std::string& mainDocument, const std::string& temporaryPath,
                           std::uint64_t length) {
    struct stat info {};
    Descriptor in(openForReading(mainDocument, info));
    if (in.get() < 0)
        return failed(mainDocument, errno);
    Descriptor out(createEmpty(temporaryPath));
    if (out.get() < 0)
        return failed(temporaryPath, errno);
    const CopyResult copied = copyToEnd(in.get(), out.get());
    if (copied.end == CopyEnd::ReadFailed)
        return failed(mainDocument, copied.error);
    if (copied.end == CopyEnd::WriteFailed)
        return failed(temporaryPath, copied.error);
    if (copied.copied < length && !writeErased(out.get(), length - copied.copied))
        return failed(temporaryPath, errno);
    if (!out.close())
        return failed(temporaryPath, errno);
    return {};
}

}  // namespace

std::uint64_t idImageBytes(std::uint64_t mainBytes, std::uint32_t fillAddress, int idLength) {
    return std::max<std::uint64_t>(mainBytes, std::uint64_t{fillAddress} + idLength);
}

std::uint64_t combinedImageBytes(std::uint64_t mainBytes, std::uint32_t fillAddress,
                                 std::uint64_t documentBytes) {
    return std::max<std::uint64_t>(mainBytes, fillAddress) + documentBytes;
}

std::optional<std::uint32_t> fillAddressAfter(const std::string& mainDocument) {
    const auto bytes = regularFileBytes(mainDocument);
    if (!bytes)
        return std::nullopt;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(*bytes, 0xFFFFFFFFull));
}

std::string failureReason(const BatchFileResult& result) {
    return result.refusal.empty() ? errnoText(result.error) : result.refusal;
}

std::string freshTemporaryName(const std::string& base) {
    for (unsigned n = 0;; ++n) {
        const std::string candidate = base + "-" + std::to_string(n) + ".tmp~";
        struct stat info {};
        // A dangling link is a name in use too.
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
}

std::string entryName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

BatchFileResult writeId(const std::string& path, std::uint32_t fillAddress, std::uint32_t id,
                        int idLength, bool bigEndian) {
    if (!validIdLength(idLength))
        return refused(path, kBadIdLength);
    std::array<std::uint8_t, 4> bytes{};
    for (int i = 0; i < idLength; ++i) {
        const int shift = 8 * (bigEndian ? idLength - 1 - i : i);
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> shift);
    }
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failed(path, errno);
    if (::lseek(file.get(), fillAddress, SEEK_SET) < 0 ||
        !writeAll(file.get(), bytes.data(), static_cast<std::size_t>(idLength)) || !file.close()) {
        return failed(path, errno);
    }
    return {};
}

BatchFileResult buildIdFile(const std::string& mainDocument, const std::string& temporaryPath,
                            std::uint32_t fillAddress, std::uint32_t id, int idLength,
                            bool bigEndian) {
    if (!validIdLength(idLength))
        return refused(temporaryPath, kBadIdLength);
    if (outputIsInput(temporaryPath, mainDocument))
        return refused(temporaryPath, kOutputIsInput);
    const BatchFileResult copied =
        copyPadded(mainDocument, temporaryPath, std::uint64_t{fillAddress} + idLength);
    if (!copied.ok)
        return copied;
    return writeId(temporaryPath, fillAddress, id, idLength, bigEndian);
}

BatchFileResult buildCombinedFile(const std::string& mainDocument, const std::string& temporaryPath,
                                  std::uint32_t fillAddress, const std::string& subDocument) {
    if (outputIsInput(temporaryPath, mainDocument) || outputIsInput(temporaryPath, subDocument))
        return refused(temporaryPath, kOutputIsInput);
    struct stat info {};
    // Opened first: a missing sub-document leaves no temporary file behind.
    Descriptor sub(openForReading(subDocument, info));
    if (sub.get() < 0)
        return failed(subDocument, errno);
    const BatchFileResult copied = copyPadded(mainDocument, temporaryPath, fillAddress);
    if (!copied.ok)
        return copied;
    Descriptor out(::open(temporaryPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (out.get() < 0)
        return failed(temporaryPath, errno);
    const CopyResult appended = copyToEnd(sub.get(), out.get());
    if (appended.end == CopyEnd::ReadFailed)
        return failed(subDocument, appended.error);
    if (appended.end == CopyEnd::WriteFailed || !out.close())
        return failed(temporaryPath, appended.end == CopyEnd::WriteFailed ? appended.error : errno);
    return {};
}

}  // namespace nyra
