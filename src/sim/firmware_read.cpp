// SPDX-License-Identifier: GPL-3.0-or-later
// Read, blank check and the unit reads: what the chip sends back.
#include <algorithm>

#include "sim/firmware.h"

namespace nyra::sim {

void Firmware::onRead(const CommandFrame& frame, std::uint64_t total) {
    ReadStream stream;
    stream.remaining = total;
    stream.answered = answers(frame);
    stream.fourByte = frame.fourByteAddress();
    if (total > 0)
        read_ = stream;
}

void Firmware::refillIn(std::int64_t nowUs) {
    if (!read_ || !in_.empty())
        return;
    ReadStream& r = *read_;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(r.remaining, r.transfer));
    std::vector<std::uint8_t> bytes(n, 0xFF);  // nobody driving the data line reads as 1s
    const Chip* chip = socket_.chip();
    Family family = Family::SpiFlash;
    if (r.answered && chip) {
        family = chip->model().family;
        const bool threeByteFlash = family == Family::SpiFlash && !r.fourByte;
        for (std::size_t done = 0; done < n;) {
            const std::uint64_t at = chipAddress(r.next + done, r.fourByte);
            // Three address bytes wrap at 16 MiB, whatever the chip size.
            const std::uint64_t run = threeByteFlash ? 0x1000000 - at : n - done;
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(run, n - done));
            chip->read(at, std::span<std::uint8_t>(bytes).subspan(done, count));
            done += count;
        }
    }
    occupy(nowUs, timing_.readUs(family, n));
    if (n > 0)
        reply(std::move(bytes), busyUntilUs_);
    r.next += n;
    r.remaining -= n;
    if (r.remaining == 0) {
        if (r.trailer)
            reply({*r.trailer}, busyUntilUs_);
        read_.reset();
    }
}

void Firmware::onBlankCheck(const CommandFrame& frame, std::int64_t nowUs) {
    const Chip* chip = socket_.chip();
    std::vector<std::uint8_t> result{kReplyBlank, 0, 0, 0, 0, 0xFF};
    if (!answers(frame)) {
        // Nothing drives the data line: the device reads 0xFF everywhere.
        reply(std::move(result), startUs(nowUs));
        return;
    }
    const std::uint64_t total = frame.chipSize() ? frame.chipSize() : chip->size();
    // Beyond one lap of the chip the same bytes come again, and so do
    // addresses past 16 MiB when only three address bytes are sent.
    std::uint64_t lap = std::min<std::uint64_t>(total, chip->size());
    if (chip->model().family == Family::SpiFlash && !frame.fourByteAddress()) {
        lap = std::min<std::uint64_t>(lap, 0x1000000);
    }
    const auto memory = chip->contents();
    const auto end = memory.begin() + static_cast<std::ptrdiff_t>(lap);
    const auto found = std::find_if(memory.begin(), end, [](std::uint8_t b) { return b != 0xFF; });
    std::uint64_t scanned = total;
    if (found != end) {
        const auto a = static_cast<std::uint32_t>(found - memory.begin());
        result = {kReplyNotBlank,
                  static_cast<std::uint8_t>(a >> 24),
                  static_cast<std::uint8_t>(a >> 16),
                  static_cast<std::uint8_t>(a >> 8),
                  static_cast<std::uint8_t>(a),
                  *found};
        scanned = a + 1ull;
    }
    occupy(nowUs, timing_.scanUs(chip->model().family, scanned));
    reply(std::move(result), busyUntilUs_);
}

void Firmware::onReadUnit(const CommandFrame& frame, std::int64_t nowUs) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFF};
    if (answers(frame)) {
        const std::uint64_t a = frame.argument32();
        const bool fourByte = frame.fourByteAddress();
        bytes[0] = socket_.chip()->at(chipAddress(a, fourByte));
        bytes[1] = socket_.chip()->at(chipAddress(a + 1, fourByte));
    }
    reply(std::move(bytes), startUs(nowUs));
}

}  // namespace nyra::sim
