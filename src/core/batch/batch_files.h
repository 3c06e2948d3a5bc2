// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The files a batch series programs: the main document with a serial number
// written into it, or the main document followed by a sub-document. They are
// made beside the main document; the batch window removes them once the
// series has ended.
namespace nyra {

// The base followed by "-n.tmp~" for the first n that names no file.
std::string freshTemporaryName(const std::string& base);
// The part of a path behind its last "/".
std::string entryName(const std::string& path);

// A build's outcome: the file that failed and its errno, or for a build
// refused before anything was written, why.
struct BatchFileResult {
    bool ok = true;
    std::string path{};
    int error = 0;
    std::string refusal{};
};

// The reason a failed build's message gives: its refusal, else its errno's text.
std::string failureReason(const BatchFileResult& result);

// The largest ID idLength (1, 2 or 4) bytes hold: a larger one would reach
// the chip cut to its low bytes, a number given before.
constexpr std::uint64_t largestId(int idLength) {
    return idLength >= 4 ? 0xFFFFFFFFull : (std::uint64_t{1} << (8 * idLength)) - 1;
}

// The bytes a chip gets from the main document with its ID at fillAddress,
// or with a document appended at fillAddress or, below it, at its end.
std::uint64_t idImageBytes(std::uint64_t mainBytes, std::uint32_t fillAddress, int idLength);
std::uint64_t combinedImageBytes(std::uint64_t mainBytes, std::uint32_t fillAddress,
                                 std::uint64_t documentBytes);

// The fill address proposed for a main document: right behind it, so the ID
// or the sub-document never covers its bytes; none when it is no regular file.
std::optional<std::uint32_t> fillAddressAfter(const std::string& mainDocument);

// The main document copied into temporaryPath, 0xFF up to fillAddress +
// idLength when it is shorter, then the ID written there. Refused when
// temporaryPath is the main document or idLength is not 1, 2 or 4.
BatchFileResult buildIdFile(const std::string& mainDocument, const std::string& temporaryPath,
                            std::uint32_t fillAddress, std::uint32_t id, int idLength,
                            bool bigEndian);
// idLength (1, 2 or 4, else refused) bytes of the ID at fillAddress, its
// low bytes only.
BatchFileResult writeId(const std::string& path, std::uint32_t fillAddress, std::uint32_t id,
                        int idLength, bool bigEndian);
// The main document, 0xFF up to fillAddress when it is shorter, then the
// whole sub-document. Refused when temporaryPath is either of them.
BatchFileResult buildCombinedFile(const std::string& mainDocument, const std::string& temporaryPath,
                                  std::uint32_t fillAddress, const std::string& subDocument);

}  // namespace nyra
