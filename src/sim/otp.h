// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nyra::sim {

// The 9 parameter bytes the host sends with OTP operation 1, per group.
using OtpGroupRecord = std::array<std::uint8_t, 9>;
inline constexpr int kOtpGroups = 6;

// Bytes written together, after the rest of the area (protection bytes).
struct OtpRange {
    std::uint32_t first = 0;
    std::uint32_t length = 0;
    std::uint32_t end() const { return first + length; }
};

// Where a chip's security area lies, as the programmer sees it.
struct OtpLayout {
    int group = 0;
    std::uint32_t base = 0;  // first address
    std::uint32_t size = 0;
    bool lockable = true;
    std::vector<OtpRange> deferred;
};

const OtpGroupRecord& otpGroupRecord(int group);
// The area of the chip with this 24-bit JEDEC identity; none when not listed.
std::optional<OtpLayout> otpLayoutFor(std::uint32_t jedecId);

// One chip's security area: erased at first, written bits only cleared,
// locked for ever once locked.
class OtpArea {
public:
    enum class WriteResult { Written, OutOfArea, Locked, DeferredSplit, AfterDeferred };

    explicit OtpArea(OtpLayout layout);

    const OtpLayout& layout() const { return layout_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    bool locked() const { return locked_; }
    bool deferredWritten() const { return deferredWritten_; }
    bool contains(std::uint32_t address, std::uint32_t length) const;

    // Reads inside the area only; false (out untouched) otherwise.
    bool read(std::uint32_t address, std::span<std::uint8_t> out) const;
    WriteResult write(std::uint32_t address, std::span<const std::uint8_t> data);
    // False on parts without a lock.
    bool lock();
    // Replaces the first bytes as they are, set bits included (test set-up).
    void load(std::span<const std::uint8_t> bytes);

private:
    OtpLayout layout_;
    std::vector<std::uint8_t> bytes_;
    bool locked_ = false;
    bool deferredWritten_ = false;
};

}  // namespace nyra::sim
