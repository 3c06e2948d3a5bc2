// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/data_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace nyra {

std::string formatChecksum(std::uint64_t sum) {
    char text[32];
    std::snprintf(text, sizeof text, "%2X%8X", static_cast<unsigned>(sum >> 32),
                  static_cast<unsigned>(sum & 0xFFFFFFFFu));
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

std::uint64_t sumBytes(const std::uint8_t* bytes, std::size_t count) {
    // Four 16-bit lanes per word add two bytes each step; 64 steps cannot
    // overflow a lane (64 * 2 * 255 < 65536). Several times a byte loop.
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
    constexpr std::size_t kWordsPerRound = 64;
    std::uint64_t sum = 0;
    std::size_t at = 0;
    while (count - at >= sizeof(std::uint64_t)) {
        const std::size_t words = std::min(kWordsPerRound, (count - at) / sizeof(std::uint64_t));
        std::uint64_t lanes = 0;
        for (std::size_t w = 0; w < words; ++w, at += sizeof(std::uint64_t)) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes + at, sizeof word);
            lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
        }
        sum +=
            (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
    }
    for (; at < count; ++at)
        sum += bytes[at];
    return sum;
}

std::uint64_t sumOfFirstBytes(const WorkingFile& file, std::uint64_t count) {
    std::uint64_t sum = 0;
    std::vector<std::uint8_t> chunk(kChecksumChunk);
    for (std::uint64_t at = 0; at < count;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChecksumChunk, count - at));
        const std::size_t got = file.readAt(at, chunk.data(), want);
        sum += sumBytes(chunk.data(), got);
        if (got < want)
            break;
        at += got;
    }
    return sum;
}

void DataBuffer::reset() {
    working_.close();
    reference_.close();
    loaded_.store(false);
    dataLength_.store(0);
    {
        std::lock_guard lock(rowsMutex_);
        rows_ = {};
    }
    changesSaved();
}

DataBuffer::ByteRange DataBuffer::changedRange() const {
    std::lock_guard lock(changedMutex_);
    return changed_;
}

void DataBuffer::changesSaved() {
    std::lock_guard lock(changedMutex_);
    changed_ = {};
}

void DataBuffer::markChanged(std::uint64_t begin, std::uint64_t end) {
    std::lock_guard lock(changedMutex_);
    if (changed_.empty()) {
        changed_ = {begin, end};
        return;
    }
    changed_.begin = std::min(changed_.begin, begin);
    changed_.end = std::max(changed_.end, end);
}

void DataBuffer::loaded(std::uint64_t checksum) {
    dataChecksum_.store(checksum);
    refreshLength();
    loaded_.store(true);
    everLoaded_.store(true);
}

void DataBuffer::refreshLength() {
    // Longer files are refused before they are copied; the cap keeps a file
    // grown behind our back from wrapping.
    const std::uint64_t length = working_.length();
    dataLength_.store(static_cast<std::uint32_t>(std::min<std::uint64_t>(length, 0xFFFFFFFFu)));
}

bool DataBuffer::fillBytes(std::uint64_t offset, std::uint64_t count, std::uint8_t value) {
    // Nothing to write, unless the offset lies past the end: the gap is
    // filled with 0xFF all the same.
    if (count == 0 && offset <= dataLength())
        return true;
    if (offset > kLargestDataLength || count > kLargestDataLength - offset)
        return false;
    const std::uint64_t length = dataLength();
    const std::uint64_t end = offset + count;
    std::uint64_t sum = dataChecksum();
    // Marked first: a write that fails half-way may still have changed the file.
    markChanged(std::min(offset, length), end);
    // The checksum follows every piece that reached the file, so a failure
    // leaves it true to what the file holds.
    const auto fail = [&] {
        dataChecksum_.store(sum);
        refreshLength();
        return false;
    };
    const std::vector<std::uint8_t> erased(kChecksumChunk, 0xFF);
    for (std::uint64_t at = length; at < offset;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChecksumChunk, offset - at));
        if (!working_.writeAt(at, erased.data(), n))
            return fail();
        sum += 0xFFu * n;
        at += n;
    }
    const std::vector<std::uint8_t> piece(kChecksumChunk, value);
    std::vector<std::uint8_t> old(kChecksumChunk);
    for (std::uint64_t at = offset; at < end;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChecksumChunk, end - at));
        std::uint64_t before = 0;
        if (at < length) {
            const std::size_t got = working_.readAt(at, old.data(), n);
            before = sumBytes(old.data(), got);
        }
        if (!working_.writeAt(at, piece.data(), n))
            return fail();
        sum = sum - before + std::uint64_t{value} * n;
        at += n;
    }
    dataChecksum_.store(sum);
    refreshLength();
    return true;
}

std::uint64_t DataBuffer::updateChipChecksum(std::uint32_t chipSize) {
    const std::uint64_t length = dataLength();
    std::uint64_t sum = dataChecksum();
    if (length < chipSize) {
        sum += 0xFFull * (chipSize - length);
    } else if (length > chipSize) {
        sum = sumOfFirstBytes(working_, chipSize);
    }
    chipChecksum_.store(sum);
    return sum;
}

DataBuffer::Rows DataBuffer::updateRows(std::uint32_t chipSize) {
    Rows rows;
    rows.data = static_cast<std::uint32_t>((std::uint64_t{dataLength()} + 15) / 16);
    rows.chip = chipSize / 16;
    rows.total = std::max(rows.data, rows.chip);
    std::lock_guard lock(rowsMutex_);
    rows_ = rows;
    return rows;
}

DataBuffer::Rows DataBuffer::rows() const {
    std::lock_guard lock(rowsMutex_);
    return rows_;
}

std::string DataBuffer::dataChecksumText() const {
    return everLoaded_.load() ? formatChecksum(dataChecksum()) : kNoChecksumText;
}

std::string DataBuffer::chipChecksumText() const {
    return everLoaded_.load() ? formatChecksum(chipChecksum()) : kNoChecksumText;
}

}  // namespace nyra
