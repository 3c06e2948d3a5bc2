#pragma once

#include <cstdint>
#include <string>

// The files a batch series programs: the main document with a serial number
// written into it, or the main document followed by a sub-document. They are
// made beside the main document and never deleted.
namespace nyra {

// The base followed by "-n.tmp~" for the first n that names no file.
std::string freshTemporaryName(const std::string& base);
// The part of a path behind its last "/".
std::string entryName(const std::string& path);

// A build's outcome: the file that failed and its errno.
struct BatchFileResult {
    bool ok = true;
    std::string path{};
    int error = 0;
};

// The main document copied into temporaryPath, 0xFF up to fillAddress +
// idLength when it is shorter, then the ID written there.
BatchFileResult buildIdFile(const std::string& mainDocument, const std::string& temporaryPath,
                            std::uint32_t fillAddress, std::uint32_t id, int idLength,
                            bool bigEndian);
// idLength (1, 2 or 4) bytes of the ID at fillAddress, its low bytes only.
BatchFileResult writeId(const std::string& path, std::uint32_t fillAddress, std::uint32_t id,
                        int idLength, bool bigEndian);
// The main document, 0xFF up to fillAddress when it is shorter, then the
// whole sub-document.
BatchFileResult buildCombinedFile(const std::string& mainDocument, const std::string& temporaryPath,
                                  std::uint32_t fillAddress, const std::string& subDocument);

}  // namespace nyra
