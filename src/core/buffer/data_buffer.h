// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "buffer/working_file.h"
#include "ui/operation_log.h"

namespace nyra {

inline constexpr int kRowBytes = 16;
inline constexpr std::size_t kChecksumChunk = 8192;
inline constexpr const char* kNoChecksumText = "0000000000";
// The data length is 32-bit.
inline constexpr std::uint64_t kLargestDataLength = 0xFFFFFFFFull;

// "%2X%8X" of the upper and lower 32 bits, spaces made "0": ten upper-case
// hex digits for any sum below 2^40.
std::string formatChecksum(std::uint64_t sum);

// The sum of count bytes in memory.
std::uint64_t sumBytes(const std::uint8_t* bytes, std::size_t count);

// The sum of the first count bytes of a file (fewer when it is shorter),
// read in 8192-byte chunks.
std::uint64_t sumOfFirstBytes(const WorkingFile& file, std::uint64_t count);

// The data the program writes to a chip or read from one: the working file
// u_mod1.dll, the reference file last loaded (for the view's changed marks),
// the data length, rows and the two checksums. The data never lives in memory.
class DataBuffer {
public:
    // Read-only from outside: every write goes through fillBytes, which
    // records it, so that Save knows which bytes changed.
    const WorkingFile& working() const { return working_; }
    const WorkingFile& reference() const { return reference_; }
    bool openWorking(const std::string& path, bool create = false) {
        return working_.openReadWrite(path, create);
    }
    // Data to look at only (kvq-cli info): every write is refused.
    bool openWorkingReadOnly(const std::string& path) { return working_.openReadOnly(path); }
    // The file the view compares the data with for its changed marks.
    bool openReference(const std::string& path) { return reference_.openReadOnly(path); }

    // Every load starts here: both files closed, everything 0.
    void reset();
    // A load's outcome: the working file's length and the sum the copy counted.
    void loaded(std::uint64_t checksum);
    bool isLoaded() const { return loaded_.load(); }

    std::uint32_t dataLength() const { return dataLength_.load(); }
    // Reads the length back from the working file.
    void refreshLength();
    std::uint64_t dataChecksum() const { return dataChecksum_.load(); }
    std::uint64_t chipChecksum() const { return chipChecksum_.load(); }

    // Writes one byte at offset; past the end the gap is filled with 0xFF first.
    // The data checksum follows; false when the file refused the write.
    bool writeByte(std::uint64_t offset, std::uint8_t value) { return fillBytes(offset, 1, value); }
    // Writes count bytes of value at offset in pieces of kChecksumChunk, the
    // same way. The data may not grow past kLargestDataLength: false then,
    // and nothing is written.
    bool fillBytes(std::uint64_t offset, std::uint64_t count, std::uint8_t value);
    // Sets the data checksum after a tool changed the file (fill).
    void setDataChecksum(std::uint64_t sum) { dataChecksum_.store(sum); }

    // The bytes written since the load or the last save, [begin, end): Save
    // compares only these with the reference, so saving one byte of a large
    // file does not read all of it.
    struct ByteRange {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        bool empty() const { return begin >= end; }
    };
    ByteRange changedRange() const;
    // The changes have reached the reference file.
    void changesSaved();

    // What the chip would hold after programming: the data, then erased bytes,
    // or only the first chipSize bytes of a longer file.
    std::uint64_t updateChipChecksum(std::uint32_t chipSize);

    struct Rows {
        std::uint32_t data = 0;
        std::uint32_t chip = 0;
        std::uint32_t total = 0;
    };
    Rows updateRows(std::uint32_t chipSize);
    Rows rows() const;

    std::string dataChecksumText() const;
    std::string chipChecksumText() const;

private:
    WorkingFile working_;
    WorkingFile reference_;
    std::atomic<bool> loaded_{false};
    std::atomic<std::uint32_t> dataLength_{0};
    std::atomic<std::uint64_t> dataChecksum_{0};
    std::atomic<std::uint64_t> chipChecksum_{0};
    // The texts read "0000000000" until the first checksum is shown.
    std::atomic<bool> everLoaded_{false};
    mutable std::mutex rowsMutex_;
    Rows rows_;
    mutable std::mutex changedMutex_;
    ByteRange changed_;

    void markChanged(std::uint64_t begin, std::uint64_t end);
};

}  // namespace nyra
