// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/otp.h"

#include <algorithm>
#include <utility>

namespace nyra::sim {

namespace {

constexpr std::array<OtpGroupRecord, kOtpGroups> kGroupRecords{{
    {0x00, 0x00, 0x3A, 0x04, 0x02, 0x03, 0x05, 0x01, 0x01},
    {0x01, 0x00, 0x00, 0x00, 0x42, 0x48, 0x35, 0x01, 0x01},
    {0x02, 0x00, 0xB1, 0xC1, 0x02, 0x03, 0x2B, 0x2F, 0x01},
    {0x03, 0x00, 0x00, 0x00, 0x42, 0x48, 0x35, 0x01, 0x01},
    {0x04, 0x00, 0x00, 0x00, 0xA5, 0x88, 0x05, 0x85, 0x01},
    {0x05, 0x01, 0x00, 0x00, 0x42, 0x4B, 0x00, 0x00, 0x00},
}};

struct OtpEntry {
    std::uint32_t jedecId;
    int group;
    std::uint32_t base;
    std::uint32_t size;
    int deferredSet;  // index into kDeferredSets, -1: none
};

// Protection bytes of the group 5 parts.
const std::vector<OtpRange> kDeferredSets[] = {
    {{0x100, 2}, {0x112, 2}, {0x214, 2}},
    {{0x000, 0x20}},
};

constexpr OtpEntry kEntries[] = {
    {0xC83114, 0, 0, 256, -1}, {0xC83013, 0, 0, 256, -1},    {0xC83014, 0, 0, 256, -1},
    {0xC82013, 0, 0, 256, -1}, {0xC82014, 0, 0, 256, -1},    {0x1C3014, 0, 0, 256, -1},
    {0x1C3110, 0, 0, 256, -1}, {0x1C3111, 0, 0, 256, -1},    {0x1C3112, 0, 0, 256, -1},
    {0x1C3113, 0, 0, 256, -1}, {0x1C5114, 0, 0, 256, -1},    {0x1C2016, 0, 0, 512, -1},
    {0x1C3015, 0, 0, 512, -1}, {0x1C3118, 0, 0, 512, -1},    {0x1C2017, 0, 0, 512, -1},
    {0x1C3016, 0, 0, 512, -1}, {0x1C3017, 0, 0, 512, -1},    {0x1C3018, 0, 0, 512, -1},
    {0x1C5115, 0, 0, 512, -1}, {0xC84016, 1, 0, 1024, -1},   {0xC84017, 1, 0, 1024, -1},
    {0xC22532, 2, 0, 64, -1},  {0xC22553, 2, 0, 64, -1},     {0xC22554, 2, 0, 64, -1},
    {0xC22415, 2, 0, 64, -1},  {0xC22015, 2, 0, 64, -1},     {0xC22515, 2, 0, 512, -1},
    {0xC22535, 2, 0, 512, -1}, {0xC22536, 2, 0, 512, -1},    {0xC25E16, 2, 0, 512, -1},
    {0xC22537, 2, 0, 512, -1}, {0xC22538, 2, 0, 512, -1},    {0xC22019, 2, 0, 512, -1},
    {0xC22539, 2, 0, 512, -1}, {0xC2201A, 2, 0, 512, -1},    {0xC2253A, 2, 0, 512, -1},
    {0xC22533, 2, 0, 512, -1}, {0xC22014, 2, 0, 512, -1},    {0xC22534, 2, 0, 512, -1},
    {0xC22016, 2, 0, 512, -1}, {0xC22017, 2, 0, 512, -1},    {0xC22018, 2, 0, 512, -1},
    {0xEF4016, 3, 0, 768, -1}, {0xEF4017, 3, 0, 768, -1},    {0xEF4018, 3, 0, 768, -1},
    {0xEF4019, 3, 0, 768, -1}, {0xEF5012, 3, 0, 768, -1},    {0xEF5013, 3, 0, 768, -1},
    {0xEF5014, 3, 0, 768, -1}, {0xEF6015, 3, 0, 768, -1},    {0xEF6016, 3, 0, 768, -1},
    {0xEF6017, 3, 0, 768, -1}, {0xEF6018, 3, 0, 768, -1},    {0xC86013, 3, 0, 768, -1},
    {0xC86014, 3, 0, 768, -1}, {0xC86015, 3, 0, 768, -1},    {0xC86016, 3, 0, 768, -1},
    {0xC86017, 3, 0, 768, -1}, {0xC86018, 3, 0, 768, -1},    {0x014015, 3, 0, 768, -1},
    {0x014016, 3, 0, 768, -1}, {0x014017, 3, 0, 768, -1},    {0x014018, 3, 0, 768, -1},
    {0xBF254B, 4, 8, 24, -1},  {0x010215, 5, 0x100, 512, 0}, {0x010216, 5, 0x100, 512, 0},
    {0x012018, 5, 0, 1024, 1}, {0x010219, 5, 0, 1024, 1},    {0x010220, 5, 0, 1024, 1},
};

bool overlaps(const OtpRange& r, std::uint32_t first, std::uint32_t end) {
    return first < r.end() && r.first < end;
}

}  // namespace

const OtpGroupRecord& otpGroupRecord(int group) {
    return kGroupRecords.at(static_cast<std::size_t>(group));
}

std::optional<OtpLayout> otpLayoutFor(std::uint32_t jedecId) {
    for (const OtpEntry& e : kEntries) {
        if (e.jedecId != jedecId)
            continue;
        OtpLayout layout;
        layout.group = e.group;
        layout.base = e.base;
        layout.size = e.size;
        // A record without a lock-state byte: the part has no lock.
        layout.lockable = otpGroupRecord(e.group)[6] != 0;
        if (e.deferredSet >= 0)
            layout.deferred = kDeferredSets[e.deferredSet];
        return layout;
    }
    return std::nullopt;
}

OtpArea::OtpArea(OtpLayout layout) : layout_(std::move(layout)), bytes_(layout_.size, 0xFF) {}

bool OtpArea::contains(std::uint32_t address, std::uint32_t length) const {
    return address >= layout_.base && length <= layout_.size &&
           address - layout_.base <= layout_.size - length;
}

bool OtpArea::read(std::uint32_t address, std::span<std::uint8_t> out) const {
    const auto length = static_cast<std::uint32_t>(out.size());
    if (!contains(address, length))
        return false;
    std::copy_n(bytes_.begin() + (address - layout_.base), length, out.begin());
    return true;
}

OtpArea::WriteResult OtpArea::write(std::uint32_t address, std::span<const std::uint8_t> data) {
    const auto length = static_cast<std::uint32_t>(data.size());
    if (!contains(address, length))
        return WriteResult::OutOfArea;
    if (locked_)
        return WriteResult::Locked;
    const std::uint32_t end = address + length;
    bool touchesDeferred = false;
    for (const OtpRange& r : layout_.deferred) {
        if (!overlaps(r, address, end))
            continue;
        // Programming 1s leaves protection bytes as they are: a write that
        // only passes over them with 0xFF does not count as writing them.
        const std::uint32_t from = std::max(r.first, address);
        const std::uint32_t to = std::min(r.first + r.length, end);
        bool changes = false;
        for (std::uint32_t a = from; a < to; ++a)
            changes = changes || data[a - address] != 0xFF;
        if (!changes)
            continue;
        // Protection bytes go in one piece and with nothing else.
        if (r.first != address || r.length != length)
            return WriteResult::DeferredSplit;
        touchesDeferred = true;
    }
    if (!touchesDeferred && deferredWritten_)
        return WriteResult::AfterDeferred;
    std::uint8_t* cells = bytes_.data() + (address - layout_.base);
    for (std::uint32_t i = 0; i < length; ++i)
        cells[i] = static_cast<std::uint8_t>(cells[i] & data[i]);
    if (touchesDeferred)
        deferredWritten_ = true;
    return WriteResult::Written;
}

bool OtpArea::lock() {
    if (!layout_.lockable)
        return false;
    locked_ = true;
    return true;
}

void OtpArea::load(std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), bytes_.size());
    std::copy_n(bytes.begin(), n, bytes_.begin());
}

}  // namespace nyra::sim
