// SPDX-License-Identifier: GPL-3.0-or-later
// Program, erase, fill and the status register: what changes the chip.
#include <algorithm>

#include "sim/firmware.h"
#include "sim/text_util.h"

namespace nyra::sim {

using text::hexByte;

std::uint64_t Firmware::chipAddress(std::uint64_t address, bool fourByte) const {
    const Chip* chip = socket_.chip();
    // Three address bytes cannot reach beyond 16 MiB.
    if (chip && chip->model().family == Family::SpiFlash && !fourByte)
        return address & 0xFFFFFF;
    return address;
}

Firmware::WritePlan Firmware::writePlan(const CommandFrame& frame) const {
    WritePlan plan;
    plan.fourByte = frame.fourByteAddress();
    const std::uint32_t page = frame.pageBytes();
    const Chip* chip = socket_.chip();
    const Family family = chip ? chip->model().family : Family::SpiFlash;
    switch (family) {
        case Family::SpiFlash:
            // 3 (unlock first) and 4 (stacked dies) program pages like 0.
            plan.mode = frame.writeMethod() == 1   ? WriteMode::Byte
                        : frame.writeMethod() == 2 ? WriteMode::AaiWord
                                                   : WriteMode::Page;
            plan.chunk = page ? page : 256;
            break;
        case Family::Microwire:
            plan.chunk = (frame.wide() || (frame.parameter() & 0xF0) == 0x10) ? 2 : 1;
            break;
        default:
            plan.chunk = page ? page : 1;
            break;
    }
    plan.chunk = std::min<std::uint32_t>(plan.chunk, 65536);
    return plan;
}

void Firmware::writeChunk(std::uint64_t address, std::span<const std::uint8_t> chunk,
                          const WritePlan& plan) {
    Chip* chip = socket_.chip();
    if (!chip || chunk.empty())
        return;
    const ChipModel& model = chip->model();
    const std::uint64_t at = chipAddress(address, plan.fourByte);
    if (model.family != Family::SpiFlash) {
        chip->writePage(at, chunk);
        occupy(nowUs_, timing_.pageWriteUs(model));
        return;
    }
    // Programming 0xFF changes nothing on flash: skip it, as real firmware does.
    if (allErased(chunk))
        return;
    if (plan.mode == WriteMode::Page && model.pageProgram) {
        chip->writePage(at, chunk);
        occupy(nowUs_, timing_.pageWriteUs(model));
    } else if (plan.mode == WriteMode::Page) {
        // The page-program opcode is a byte program on these parts: one byte.
        chip->writeByte(at, chunk[0]);
        occupy(nowUs_, timing_.byteProgramUs(model, 1));
    } else {
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chip->writeByte(at + i, chunk[i]);
        const auto steps = static_cast<std::uint32_t>(
            plan.mode == WriteMode::AaiWord ? (chunk.size() + 1) / 2 : chunk.size());
        occupy(nowUs_, timing_.byteProgramUs(model, steps));
    }
}

void Firmware::writeBytes(std::uint64_t address, std::span<const std::uint8_t> data,
                          const WritePlan& plan) {
    std::size_t done = 0;
    while (done < data.size()) {
        // Chunks end at page boundaries so that no page program rolls over.
        const std::uint64_t at = address + done;
        const std::size_t room = plan.chunk - static_cast<std::size_t>(at % plan.chunk);
        const std::size_t n = std::min(room, data.size() - done);
        writeChunk(at, data.subspan(done, n), plan);
        done += n;
    }
}

void Firmware::onProgram(const CommandFrame& frame) {
    ProgramSession session;
    session.plan = writePlan(frame);
    session.answered = answers(frame);
    if (!session.answered)
        note("program: no chip answers; the data will be dropped");
    program_ = std::move(session);
}

std::int64_t Firmware::streamReadyUs() const {
    return (program_ || fill_ || bootStreaming()) ? busyUntilUs_ : 0;
}

void Firmware::takeStream(std::span<const std::uint8_t> bytes, std::int64_t nowUs) {
    nowUs_ = nowUs;
    if (bootLoader_) {
        takeBootStream(bytes, nowUs);
        return;
    }
    if (program_) {
        ProgramSession& s = *program_;
        s.received += bytes.size();
        s.pending.insert(s.pending.end(), bytes.begin(), bytes.end());
        // Write whole chunks now; a partial chunk waits for more data or command 2.
        const std::size_t whole = s.pending.size() - s.pending.size() % s.plan.chunk;
        if (whole > 0 && s.answered) {
            writeBytes(s.address, std::span(s.pending).first(whole), s.plan);
        }
        s.address += whole;
        s.pending.erase(s.pending.begin(), s.pending.begin() + static_cast<std::ptrdiff_t>(whole));
        return;
    }
    if (fill_) {
        FillSession& f = *fill_;
        const std::size_t room = f.unit - f.data.size();
        const std::size_t n = std::min(room, bytes.size());
        f.data.insert(f.data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < bytes.size())
            note("fill: data beyond the block dropped");
        return;
    }
    note("bulk data without a program or fill command dropped (" + std::to_string(bytes.size()) +
         " bytes)");
}

void Firmware::onEndOfStream(const CommandFrame& frame, std::int64_t nowUs) {
    if (program_) {
        ProgramSession& s = *program_;
        if (!s.pending.empty() && s.answered)
            writeBytes(s.address, s.pending, s.plan);
        const bool complete = frame.argument32() == s.received;
        if (!complete) {
            note("program: count " + std::to_string(frame.argument32()) + " but " +
                 std::to_string(s.received) + " bytes received");
        }
        // A chip pulled out mid-stream never reports its last write done.
        const bool ok = s.answered && complete && socket_.chip() != nullptr;
        program_.reset();
        flushImage();
        // A failed write sends no done byte, so the host can never take it for done.
        if (ok)
            reply({kReplyWriteDone}, startUs(nowUs));
        return;
    }
    if (fill_) {
        FillSession f = std::move(*fill_);
        fill_.reset();
        read_.reset();
        commitFill(f);
        const bool ok = f.answered && f.data.size() == f.unit;
        if (f.data.size() != f.unit) {
            note("fill: " + std::to_string(f.data.size()) + " of " + std::to_string(f.unit) +
                 " bytes received");
        }
        if (ok)
            reply({kReplyWriteDone}, startUs(nowUs));
        return;
    }
    note("end of stream without a stream; no reply");
}

void Firmware::onErase(const CommandFrame& frame, std::int64_t nowUs) {
    if (!answers(frame)) {
        // No byte 6, ever: the host's wait runs out and reports the failure.
        note("erase: no chip answers; no reply");
        return;
    }
    Chip& chip = *socket_.chip();
    chip.eraseAll();
    occupy(nowUs, timing_.chipEraseUs(chip.model()));
    flushImage();
    reply({kReplyEraseDone}, busyUntilUs_);
}

void Firmware::onFillBlock(const CommandFrame& frame) {
    const std::uint32_t unit = frame.fillUnitBytes();
    if (unit == 0 || unit > kMaxChipSize) {
        note("fill: no erase unit in the chip parameters (sector code " +
             std::to_string(frame.sectorCode()) + "); ignored");
        return;
    }
    FillSession fill;
    fill.plan = writePlan(frame);
    fill.answered = answers(frame);
    fill.start = frame.argument32();
    fill.unit = unit;
    ReadStream stream;
    stream.next = fill.start;
    stream.remaining = unit;
    stream.transfer = kFillTransferMax;
    stream.answered = fill.answered;
    stream.fourByte = fill.plan.fourByte;
    // Without a chip the block reads as 0xFF and no ready byte follows it.
    if (fill.answered)
        stream.trailer = kReplyFillReady;
    read_ = stream;
    fill_ = std::move(fill);
}

void Firmware::commitFill(FillSession& f) {
    Chip* chip = socket_.chip();
    if (!f.answered || !chip || f.data.empty())
        return;
    if (chip->model().family != Family::SpiFlash) {
        writeBytes(f.start, f.data, f.plan);
        flushImage();
        return;
    }
    // Flash: read-modify-write every real sector the block touches, so that a
    // block smaller than the chip's sector keeps the rest of that sector.
    const std::uint32_t sector = chip->model().sectorSize;
    const std::uint64_t end = f.start + f.data.size();
    std::vector<std::uint8_t> buffer(sector);
    for (std::uint64_t s = f.start - f.start % sector; s < end; s += sector) {
        const std::uint64_t at = chipAddress(s, f.plan.fourByte);
        chip->read(at, buffer);
        const std::uint64_t from = std::max(s, f.start);
        const std::uint64_t to = std::min(s + sector, end);
        std::copy(f.data.begin() + static_cast<std::ptrdiff_t>(from - f.start),
                  f.data.begin() + static_cast<std::ptrdiff_t>(to - f.start),
                  buffer.begin() + static_cast<std::ptrdiff_t>(from - s));
        chip->eraseSector(at);
        occupy(nowUs_, timing_.sectorEraseUs(chip->model(), sector));
        writeBytes(s, buffer, f.plan);
    }
    flushImage();
}

void Firmware::onQuadEnable(const CommandFrame& frame, std::int64_t nowUs) {
    // Argument: status bit of QE, status bytes written, then 1 to set / 0 to clear.
    const std::uint8_t bit = frame.argument(0);
    const bool ok = answers(frame) && socket_.chip()->model().family == Family::SpiFlash &&
                    bit < 16 && frame.argument(1) >= 1 && frame.argument(1) <= 2;
    if (!ok) {
        note("quad enable refused (descriptor " + hexByte(bit) + " " + hexByte(frame.argument(1)) +
             ")");
        reply({0}, startUs(nowUs));
        return;
    }
    socket_.chip()->setStatusBit(bit, frame.argument(2) != 0);
    occupy(nowUs, timing_.statusWriteUs());
    reply({1}, busyUntilUs_);
}

}  // namespace nyra::sim
