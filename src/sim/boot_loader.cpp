// SPDX-License-Identifier: GPL-3.0-or-later
// The programmer's boot loader: the 4-byte frames of a firmware upgrade, the
// upgrade stream on bulk OUT, and the application flash it writes.
#include <algorithm>

#include "device/firmware_image.h"
#include "sim/firmware.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

std::string hex2(unsigned v) {
    return "0x" + text::hexByte(v);
}

}  // namespace

void Firmware::leaveBootLoader() {
    bootLoader_ = false;
    boot_.reset();
    applicationValid_ = true;
}

bool Firmware::takeRestartRequest() {
    const bool requested = restartRequested_;
    restartRequested_ = false;
    return requested;
}

bool Firmware::bootStreaming() const {
    return bootLoader_ && boot_ && boot_->stage == BootSession::Stage::Streaming;
}

std::string Firmware::bootStageName() const {
    if (!boot_)
        return "none";
    switch (boot_->stage) {
        case BootSession::Stage::Started:
            return "started";
        case BootSession::Stage::Erasing:
            return "erasing";
        case BootSession::Stage::Streaming:
            return "streaming";
        case BootSession::Stage::Streamed:
            return "streamed";
        case BootSession::Stage::Closed:
            return "closed";
        case BootSession::Stage::Finished:
            return "finished";
    }
    return "none";
}

std::vector<std::uint8_t>& Firmware::applicationFlash() {
    if (applicationFlash_.empty())
        applicationFlash_.assign(kApplicationFlashBytes, 0x00);
    return applicationFlash_;
}

void Firmware::handleBootFrame(std::uint8_t operation, std::uint8_t value, std::int64_t nowUs) {
    switch (operation) {
        case boot::kHandshake:
            if (fires(&Faults::noHandshake)) {
                note("handshake unanswered (fault no_handshake)");
                return;
            }
            reply({boot::kHandshakeReply.begin(), boot::kHandshakeReply.end()}, startUs(nowUs));
            return;
        case boot::kIdle:
            return;
        case boot::kStart: {
            // Every start is a fresh upgrade: the program retries from here.
            boot_ = BootSession{};
            const bool wrong = fires(&Faults::wrongStartEcho);
            if (wrong)
                note("start answered " + hex2(kReplyWrongStartEcho) + " (fault wrong_start_echo)");
            reply({wrong ? kReplyWrongStartEcho : boot::kStart}, startUs(nowUs));
            return;
        }
        case boot::kBlock:
            onBootBlock(value, nowUs);
            return;
        case boot::kStreamStart:
        case boot::kStreamEnd:
        case boot::kStreamClose:
            onBootStage(operation);
            return;
        case boot::kReadBack:
            onBootReadBack(nowUs);
            return;
        case boot::kFinish:
            onBootFinish(value, nowUs);
            return;
        case boot::kLeave:
            onBootLeave();
            return;
        default:
            note("boot-loader operation " + std::to_string(operation) + " unknown; ignored");
    }
}

void Firmware::onBootBlock(std::uint8_t value, std::int64_t nowUs) {
    using S = BootSession::Stage;
    if (!boot_ || (boot_->stage != S::Started && boot_->stage != S::Erasing)) {
        note("block erase out of order (stage " + bootStageName() + "); no reply");
        return;
    }
    // The frame carries only the low byte; the boot loader counts the blocks.
    const std::size_t block = boot_->erased;
    if (value != static_cast<std::uint8_t>(block)) {
        note("block " + std::to_string(value) + " out of order, expected the low byte of block " +
             std::to_string(block) + "; not erased, no reply");
        return;
    }
    if ((block + 1) * kFirmwareBlockSize > kApplicationFlashBytes) {
        note("block " + std::to_string(block) + " is past the " +
             std::to_string(kApplicationFlashBytes / 1024) +
             " KiB application area; not erased, no reply");
        return;
    }
    auto& flash = applicationFlash();
    const auto from = flash.begin() + static_cast<std::ptrdiff_t>(block * kFirmwareBlockSize);
    std::fill(from, from + static_cast<std::ptrdiff_t>(kFirmwareBlockSize), 0xFF);
    applicationValid_ = false;
    boot_->stage = S::Erasing;
    ++boot_->erased;
    occupy(nowUs, timing_.bootBlockEraseUs());
    if (fires(&Faults::blockAckMissing)) {
        note("block " + std::to_string(block) +
             " erased, acknowledgement lost (fault block_ack_missing)");
        return;
    }
    reply({value}, busyUntilUs_);
}

void Firmware::onBootStage(std::uint8_t operation) {
    using S = BootSession::Stage;
    const struct {
        std::uint8_t operation;
        S from;
        S to;
    } steps[] = {{boot::kStreamStart, S::Erasing, S::Streaming},
                 {boot::kStreamStart, S::Started, S::Streaming},
                 {boot::kStreamEnd, S::Streaming, S::Streamed},
                 {boot::kStreamClose, S::Streamed, S::Closed}};
    for (const auto& step : steps) {
        if (boot_ && step.operation == operation && boot_->stage == step.from) {
            boot_->stage = step.to;
            if (operation == boot::kStreamEnd) {
                note("upgrade stream ended after " + std::to_string(boot_->received) + " bytes");
            }
            return;
        }
    }
    note("boot-loader operation " + std::to_string(operation) + " out of order (stage " +
         bootStageName() + "); ignored");
}

void Firmware::takeBootStream(std::span<const std::uint8_t> bytes, std::int64_t nowUs) {
    if (!bootStreaming()) {
        note("bulk data outside the upgrade stream dropped (" + std::to_string(bytes.size()) +
             " bytes)");
        return;
    }
    BootSession& s = *boot_;
    auto& flash = applicationFlash();
    const std::size_t erasedEnd = s.erased * kFirmwareBlockSize;
    const std::size_t room = flash.size() > s.received ? flash.size() - s.received : 0;
    const std::size_t n = std::min(room, bytes.size());
    // Programming only clears bits: over unerased cells the old contents show through.
    for (std::size_t i = 0; i < n; ++i)
        flash[s.received + i] &= bytes[i];
    if (s.received + n > erasedEnd && !s.overUnerased) {
        s.overUnerased = true;
        note("upgrade data past the " + std::to_string(s.erased) +
             " erased blocks programmed over old contents");
    }
    if (n < bytes.size()) {
        note("upgrade data past the application area dropped (" + std::to_string(bytes.size() - n) +
             " bytes)");
    }
    s.received += n;
    occupy(nowUs, timing_.bootChunkProgramUs(bytes.size()));
}

void Firmware::onBootReadBack(std::int64_t nowUs) {
    if (!boot_ || boot_->stage != BootSession::Stage::Closed) {
        note("read-back out of order (stage " + bootStageName() + "); no reply");
        return;
    }
    BootSession& s = *boot_;
    const std::size_t block = s.readBack++;
    const std::size_t at = block * kFirmwareBlockSize;
    // Past the application area nothing drives the bus: 0xFF.
    std::vector<std::uint8_t> bytes(kFirmwareBlockSize, 0xFF);
    const auto& flash = applicationFlash();
    if (at < flash.size()) {
        const std::size_t n = std::min(kFirmwareBlockSize, flash.size() - at);
        std::copy_n(flash.begin() + static_cast<std::ptrdiff_t>(at), n, bytes.begin());
    }
    if (fires(&Faults::readBackDiffers)) {
        // One byte inside the image's part of the block, so that the host sees it.
        const std::size_t imageBytes =
            s.received > at ? std::min(kFirmwareBlockSize, s.received - at) : 0;
        const std::size_t pos = imageBytes / 2;
        bytes[pos] = static_cast<std::uint8_t>(~bytes[pos]);
        note("read-back of block " + std::to_string(block) + ": byte " + std::to_string(pos) +
             " changed (fault readback_differs)");
    }
    if (fires(&Faults::shortReadBack)) {
        bytes.resize(kShortReadBackBytes);
        note("read-back of block " + std::to_string(block) + " cut to " +
             std::to_string(kShortReadBackBytes) + " bytes (fault short_readback)");
    }
    occupy(nowUs, timing_.bootReadBackUs(bytes.size()));
    reply(std::move(bytes), busyUntilUs_);
}

std::string Firmware::imageProblem(std::uint8_t lastPayloadByte) const {
    const std::size_t n = boot_->received;
    if (n <= kFirmwareChecksumBytes)
        return "only " + std::to_string(n) + " bytes received";
    std::vector<std::uint8_t> image(n);
    for (std::size_t i = 0; i < n; ++i)
        image[i] = keyedFirmwareByte(applicationFlash_[i], i);
    if (!firmwareChecksumMatches(image))
        return "checksum does not match";
    const auto payload = std::span(image).first(n - kFirmwareChecksumBytes);
    if (!firmwareVersionOf(payload))
        return "no firmware magic at the start";
    if (payload.back() != lastPayloadByte) {
        return "last payload byte is " + hex2(payload.back()) + ", the finish names " +
               hex2(lastPayloadByte);
    }
    return {};
}

void Firmware::onBootFinish(std::uint8_t value, std::int64_t nowUs) {
    if (!boot_ || boot_->stage != BootSession::Stage::Closed) {
        note("finish out of order (stage " + bootStageName() + "); no reply");
        return;
    }
    if (fires(&Faults::noFinishReply)) {
        note("finish: no reply, image not taken (fault no_finish_reply)");
        return;
    }
    std::string problem = imageProblem(value);
    if (problem.empty() && fires(&Faults::wrongFinishByte))
        problem = "refused although sound (fault wrong_finish_byte)";
    occupy(nowUs, timing_.bootImageCheckUs(boot_->received));
    if (!problem.empty()) {
        note("finish: image refused: " + problem + "; staying in the boot loader");
        reply({kReplyImageRefused}, busyUntilUs_);
        return;
    }
    const std::size_t payloadSize = boot_->received - kFirmwareChecksumBytes;
    version_ = keyedFirmwareByte(applicationFlash_[kFirmwareVersionOffset], kFirmwareVersionOffset);
    applicationValid_ = true;
    boot_->stage = BootSession::Stage::Finished;
    note("finish: image of " + std::to_string(payloadSize) + " payload bytes taken, firmware " +
         firmwareVersionText(version_));
    reply({boot::kFinish}, busyUntilUs_);
}

void Firmware::onBootLeave() {
    // Without a checked application there is nothing to start.
    if (!applicationValid_) {
        note("leave: no checked application; staying in the boot loader");
        return;
    }
    bootLoader_ = false;
    boot_.reset();
    restartRequested_ = true;
    note("leaving the boot loader for firmware " + firmwareVersionText(version_));
}

}  // namespace nyra::sim
