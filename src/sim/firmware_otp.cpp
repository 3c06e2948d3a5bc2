// SPDX-License-Identifier: GPL-3.0-or-later
// The security (OTP) area operations of the extended frames.
#include <algorithm>

#include "sim/firmware.h"

namespace nyra::sim {

namespace {

// OTP addresses and lengths travel least significant byte first.
std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace

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

}  // namespace nyra::sim
