// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/firmware.h"

#include <algorithm>
#include <cstdio>

namespace nyra::sim {

namespace {

constexpr std::size_t kMaxLogLines = 256;
constexpr std::size_t kMaxFrames = 100000;

std::vector<std::uint8_t> be24(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// OTP addresses and lengths travel least significant byte first.
std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::string hexByte(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

}  // namespace

Firmware::Firmware(Socket& socket, const Timing& timing) : socket_(socket), timing_(timing) {}

void Firmware::addNote(std::string line) {
    if (log_.size() == kMaxLogLines)
        log_.pop_front();
    log_.push_back(std::move(line));
}

void Firmware::clearRecords() {
    frames_.clear();
    log_.clear();
}

void Firmware::powerCycle() {
    program_.reset();  // data still buffered in the device is lost with the power
    endSessions();
    in_.clear();
    boot_.reset();
    restartRequested_ = false;
    bootLoader_ = !applicationValid_;
    if (bootLoader_)
        note("no checked application: started in the boot loader");
    lastState_ = -1;
    busyUntilUs_ = 0;
    otpParametersFor_ = 0;
    otpAccess_ = false;
}

std::string Firmware::sessionName() const {
    if (program_)
        return "programming";
    if (fill_)
        return "filling";
    if (read_)
        return "reading";
    return "none";
}

bool Firmware::takeFrame(std::span<const std::uint8_t> bytes, std::int64_t nowUs) {
    nowUs_ = nowUs;
    switch (classifyFrame(bytes)) {
        case FrameKind::Command: {
            const auto frame = CommandFrame::parse(bytes);
            if (frames_.size() < kMaxFrames)
                frames_.push_back(frame->raw());
            if (bootLoader_) {
                handleBootLoaderCommand(*frame, nowUs);
            } else {
                handleCommand(*frame, nowUs);
            }
            return true;
        }
        case FrameKind::BootLoader:
            if (!bootLoader_) {
                note("boot-loader frame (operation " + std::to_string(bytes[1]) +
                     ") ignored: the application does not take them");
                return true;
            }
            handleBootFrame(bytes[1], bytes[2], nowUs);
            return true;
        case FrameKind::OtpShort:
        case FrameKind::OtpLong:
            if (bootLoader_) {
                note("OTP frame ignored in the boot loader");
                return true;
            }
            return onOtpFrame(bytes, classifyFrame(bytes) == FrameKind::OtpLong, nowUs);
        case FrameKind::Malformed:
            note("malformed frame of " + std::to_string(bytes.size()) + " bytes ignored");
            return true;
    }
    return true;
}

void Firmware::handleBootLoaderCommand(const CommandFrame& frame, std::int64_t nowUs) {
    switch (frame.code()) {
        case cmd::kReadIdentity:
            reply(be24(kStateBlocked), nowUs);
            return;
        case cmd::kCarryParameters:
        case cmd::kEndOfOperation:
        case cmd::kBetweenSteps:
        case cmd::kStateIndication:
            return;
        default:
            note("command " + std::to_string(frame.code()) + " ignored in the boot loader");
    }
}

void Firmware::handleCommand(const CommandFrame& frame, std::int64_t nowUs) {
    const std::uint8_t code = frame.code();
    // A new command ends whatever stream was open; only command 2 completes one.
    if (code != cmd::kStreamEnd)
        endSessions();
    switch (code) {
        case cmd::kCarryParameters:
        case cmd::kBetweenSteps:
            return;
        case cmd::kEndOfOperation:
            flushImage();
            return;
        case cmd::kProgramStart:
            onProgram(frame);
            return;
        case cmd::kStreamEnd:
            onEndOfStream(frame, nowUs);
            return;
        case cmd::kErase:
            onErase(frame, nowUs);
            return;
        case cmd::kReadIdentity:
            onIdentify(frame, nowUs);
            return;
        case cmd::kVerifyRead:
            onRead(frame, frame.argument32());
            return;
        case cmd::kRead:
            onRead(frame, frame.chipSize());
            return;
        case cmd::kBlankCheck:
            onBlankCheck(frame, nowUs);
            return;
        case cmd::kReadUnit:
            onReadUnit(frame, nowUs);
            return;
        case cmd::kFirmwareVersion:
            reply({version_}, nowUs);
            return;
        case cmd::kFillBlock:
            onFillBlock(frame);
            return;
        case cmd::kEnterUpgrade:
            // The boot loader starts after a reset, which re-enumerates on USB.
            bootLoader_ = true;
            boot_.reset();
            restartRequested_ = true;
            note("entered the boot loader");
            return;
        case cmd::kSerialNumber:
            reply({cmd::kSerialNumber, 0, 0, 0, static_cast<std::uint8_t>(serial_ >> 16),
                   static_cast<std::uint8_t>(serial_ >> 8), static_cast<std::uint8_t>(serial_)},
                  nowUs);
            return;
        case cmd::kAdapterQuery:
            reply({static_cast<std::uint8_t>(adapter_ ? 1 : 0)}, nowUs);
            return;
        case cmd::kStateIndication:
            lastState_ = frame.argument(0);
            newState_ = lastState_;
            return;
        case cmd::kQuadEnable:
            onQuadEnable(frame, nowUs);
            return;
        default:
            note("unknown command " + std::to_string(code) + " ignored");
    }
}

bool Firmware::answers(const CommandFrame& frame) const {
    const Chip* chip = socket_.chip();
    if (!chip)
        return false;
    const ChipModel& m = chip->model();
    if (busCodeOf(m.family) != frame.bus())
        return false;
    // Organisation and pin-out decide which Microwire wiring reaches the chip.
    if (m.family == Family::Microwire)
        return frame.parameter() == m.microwireParameter();
    return true;
}

std::uint32_t Firmware::probe(const CommandFrame& frame) const {
    if (blocked_)
        return kStateBlocked;
    const bool reached = answers(frame);
    if (frame.bus() == 0) {
        if (!reached)
            return kNoAnswerSpi;
        const ChipModel& m = socket_.chip()->model();
        switch (frame.parameter()) {
            case 0x20:
            case 0x70:  // REMS, fast and slow clock
                return m.remsId.value_or(kNoAnswerSpi);
            case 0x80:  // RES: maker and device from RES-only parts, else the signature alone
                if (m.resId)
                    return *m.resId;
                return m.remsId ? (*m.remsId & 0xFF) : kNoAnswerSpi;
            default:  // RDID
                return m.jedecId.value_or(kNoAnswerSpi);
        }
    }
    if (!reached)
        return kNoAnswer;
    switch (frame.bus()) {
        case 1:
            return kStateI2c;
        case 2:
            return kStateSpiEeprom;
        case 3:
            return kStateMicrowire;
        case 4:
            return kStateSpd;
        default:
            return kNoAnswer;
    }
}

void Firmware::onIdentify(const CommandFrame& frame, std::int64_t nowUs) {
    reply(be24(probe(frame)), startUs(nowUs));
}

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

bool Firmware::onOtpFrame(std::span<const std::uint8_t> bytes, bool longFrame, std::int64_t nowUs) {
    endSessions();
    const std::uint8_t op = bytes[2];
    Chip* chip = socket_.chip();
    OtpArea* area = chip ? chip->otp() : nullptr;
    if (!area) {
        note("OTP operation " + std::to_string(op) +
             (chip ? ": the chip has no OTP area" : ": no chip"));
        return op != otp::kParameters;
    }
    if (longFrame != (op == otp::kWrite)) {
        note("OTP operation " + std::to_string(op) + " in a frame of the wrong length ignored");
        return true;
    }
    const bool ready = otpParametersFor_ == socket_.insertions() && otpAccess_;
    switch (op) {
        case otp::kParameters: {
            const OtpGroupRecord& record = otpGroupRecord(area->layout().group);
            if (!std::equal(record.begin(), record.end(), bytes.begin() + 3)) {
                note("OTP parameters refused: not the record of the chip's group " +
                     std::to_string(area->layout().group));
                return false;
            }
            otpParametersFor_ = socket_.insertions();
            return true;
        }
        case otp::kBegin:
        case otp::kEnd:
            otpAccess_ = op == otp::kBegin;
            otpReply(otp::kReplyDone, {}, nowUs);
            return true;
        case otp::kWrite:
            if (!ready) {
                note("OTP write refused: no parameters or no access begun");
                return false;
            }
            return onOtpWrite(bytes);
        default:
            break;
    }
    if (!ready) {
        note("OTP operation " + std::to_string(op) +
             " unanswered: no parameters or no access begun");
        return true;
    }
    switch (op) {
        case otp::kRead: {
            const std::uint16_t address = le16(bytes, 3);
            const std::uint16_t length = le16(bytes, 5);
            std::vector<std::uint8_t> data(length);
            if (length == 0 || length > otp::kMaxData || !area->read(address, data)) {
                note("OTP read of " + std::to_string(length) + " bytes at " +
                     std::to_string(address) + " unanswered: outside the area or too long");
                return true;
            }
            otpReply(otp::kReplyData, data, nowUs);
            return true;
        }
        case otp::kStatus: {
            std::uint8_t value = 0;
            if (area->locked())
                value |= otp::kStatusLocked;
            if (area->deferredWritten())
                value |= otp::kStatusProtected;
            const std::uint8_t status[] = {static_cast<std::uint8_t>(area->locked() ? 1 : 0),
                                           value};
            otpReply(otp::kReplyStatus, status, nowUs);
            return true;
        }
        case otp::kLock:
            if (!area->lock()) {
                note("OTP lock unanswered: the part has no lock");
                return true;
            }
            otpReply(otp::kReplyDone, {}, nowUs);
            return true;
        default:
            note("unknown OTP operation " + std::to_string(op) + " ignored");
            return true;
    }
}

bool Firmware::onOtpWrite(std::span<const std::uint8_t> bytes) {
    const std::uint16_t address = le16(bytes, 3);
    const std::uint16_t length = le16(bytes, 5);
    if (length == 0 || length > otp::kMaxData) {
        note("OTP write of " + std::to_string(length) + " bytes refused");
        return false;
    }
    if (fires(&Faults::otpWriteFails)) {
        note("OTP write refused (fault otp_write_fails)");
        return false;
    }
    using Result = OtpArea::WriteResult;
    const Result result = socket_.chip()->otp()->write(address, bytes.subspan(7, length));
    switch (result) {
        case Result::Written:
            return true;
        case Result::OutOfArea:
            note("OTP write refused: outside the area");
            break;
        case Result::Locked:
            note("OTP write refused: the area is locked");
            break;
        case Result::DeferredSplit:
            note("OTP write refused: a deferred range is written whole and alone");
            break;
        case Result::AfterDeferred:
            note("OTP write refused: a deferred range was written already");
            break;
    }
    return false;
}

void Firmware::otpReply(std::uint8_t status, std::span<const std::uint8_t> data,
                        std::int64_t nowUs) {
    std::vector<std::uint8_t> bytes(kExtendedReplySize, 0x00);
    bytes[0] = kFrameStart;
    bytes[1] = otp::kReplyMarker;
    bytes[2] = status;
    std::copy(data.begin(), data.end(), bytes.begin() + 3);
    bytes.back() = kFrameEnd;
    if (fires(&Faults::otpShortReply)) {
        bytes.pop_back();
        note("OTP reply cut to 44 bytes (fault otp_short_reply)");
    }
    reply(std::move(bytes), startUs(nowUs));
}

void Firmware::endSessions() {
    if (program_) {
        // A stopped program keeps what was streamed so far.
        ProgramSession& s = *program_;
        if (!s.pending.empty() && s.answered)
            writeBytes(s.address, s.pending, s.plan);
        program_.reset();
        flushImage();
    }
    fill_.reset();  // a block is written only on command 2
    read_.reset();
}

void Firmware::flushImage() {
    std::string error;
    if (!socket_.flush(&error))
        note(error);
}

}  // namespace nyra::sim
