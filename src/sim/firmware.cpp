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
