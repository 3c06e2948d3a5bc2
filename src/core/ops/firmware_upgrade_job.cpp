// SPDX-License-Identifier: GPL-3.0-or-later
// Job 21: the firmware file through the programmer's boot loader in three
// phases (blocks acknowledged, the keyed stream, the keyed read-back), then
// the finish.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "device/firmware_image.h"
#include "device/protocol.h"
#include "ops/firmware_jobs.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kEnterTimeoutMs = 100;
constexpr int kFrameTimeoutMs = 500;
constexpr int kAfterReleaseMs = 1000;
constexpr int kReconnectTries = 100;
constexpr int kReconnectWaitMs = 100;
constexpr int kHandshakeTries = 20;
constexpr int kHandshakeReadMs = 50;
constexpr int kReplyTimeoutMs = 1000;
constexpr int kBlockAckWaitMs = 15;
constexpr int kChunkTimeoutMs = 2000;
constexpr int kAfterStreamMs = 5;
// How long the programmer may take to come back with its new firmware.
constexpr std::int64_t kRestartAllowanceMs = 15000;

// The whole file, or nothing when it cannot be read or is implausibly large.
std::optional<std::vector<std::uint8_t>> readFirmwareFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxFirmwareFileBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return std::nullopt;
    return bytes;
}

std::string percentText(const std::string& label, std::size_t percent) {
    return label + std::to_string(percent) + "%";
}

class Upgrade {
public:
    Upgrade(Roles<LinkRole, ReportRole, ControlRole, ClockRole> context, UpgradePort& window,
            std::vector<std::uint8_t> file)
        : c_(context),
          window_(window),
          file_(std::move(file)),
          blocks_((file_.size() + kFirmwareBlockSize - 1) / kFirmwareBlockSize) {}

    bool enterBootLoader();
    bool run();

private:
    void send(std::uint8_t operation, std::uint8_t value = 0) {
        c_.channel.sendShortFrame(operation, kFrameTimeoutMs, value);
    }
    // The bar full and empty again, with a text: how each step reports.
    void restart(TextKey label) {
        window_.progress(100, "");
        window_.progress(0, c_.text(label));
    }
    // A failure of a phase: its text on the bar, operation 1, an error box.
    bool phaseFailed(TextKey text) {
        window_.progress(0, c_.text(text));
        send(boot::kIdle);
        c_.box(c_.text(text), BoxIcon::Error);
        return false;
    }
    bool start();
    bool acknowledgeBlocks();
    bool stream();
    bool readBack();
    bool finish();

    Roles<LinkRole, ReportRole, ControlRole, ClockRole> c_;
    UpgradePort& window_;
    const std::vector<std::uint8_t> file_;
    const std::size_t blocks_;
};

bool Upgrade::enterBootLoader() {
    Link& link = c_.link();
    c_.channel.sendCommand(cmd::kEnterUpgrade, kEnterTimeoutMs);
    c_.flags.programmerBlocked.store(true);
    // The programmer restarts into its boot loader and comes back under the same identity.
    if (link.connected()) {
        link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
        c_.clock.sleepMs(kAfterReleaseMs);
    }
    for (int i = 0; i < kReconnectTries && !link.connected(); ++i) {
        c_.clock.sleepMs(kReconnectWaitMs);
        link.openAndClaim();
    }
    if (!link.connected()) {
        c_.panel.greyMenuCommand(ids::kCmdChipFill);
        c_.alert(itext(102), true);
        c_.box(c_.text(itext(102)), BoxIcon::Warning);
        return false;
    }
    bool answered = false;
    for (int i = 0; i < kHandshakeTries && !answered; ++i) {
        send(boot::kHandshake);
        std::uint8_t reply[2] = {};
        answered = link.readReply(reply, 2, kHandshakeReadMs) == 2 &&
                   reply[0] == boot::kHandshakeReply[0] && reply[1] == boot::kHandshakeReply[1];
    }
    if (!answered) {
        send(boot::kIdle);
        restart(itext(104));
        c_.box(c_.text(itext(104)), BoxIcon::Warning);
        return false;
    }
    send(boot::kIdle);
    restart(itext(103));
    return true;
}

bool Upgrade::start() {
    send(boot::kIdle);
    c_.flags.upgradeRunning.store(true);
    send(boot::kStart);
    std::uint8_t echo = 0;
    const int got = c_.link().readReply(&echo, 1, kReplyTimeoutMs);
    if (got == 1 && echo == boot::kStart)
        return true;
    const TextKey text = got == 1 ? itext(105) : itext(106);
    send(boot::kIdle);
    c_.alert(text, true);
    restart(text);
    return false;
}

bool Upgrade::acknowledgeBlocks() {
    restart(itext(59));
    for (std::size_t k = 0; k < blocks_; ++k) {
        send(boot::kBlock, static_cast<std::uint8_t>(k));
        c_.clock.sleepMs(kBlockAckWaitMs);
        std::uint8_t ack = 0;
        if (c_.link().readReply(&ack, 1, kReplyTimeoutMs) < 1) {
            window_.progress(100, "");
            c_.flags.upgradeRunning.store(false);
            return phaseFailed(itext(107));
        }
        const std::size_t percent = 100 * (k + 1) / blocks_;
        window_.progress(static_cast<int>(percent), percentText(c_.text(itext(194)), percent));
    }
    return true;
}

bool Upgrade::stream() {
    send(boot::kIdle);
    send(boot::kStreamStart);
    std::uint8_t chunk[kFirmwareChunkSize];
    for (std::size_t sent = 0;;) {
        const std::size_t n = std::min(kFirmwareChunkSize, file_.size() - sent);
        for (std::size_t i = 0; i < n; ++i)
            chunk[i] = keyedFirmwareByte(file_[sent + i], sent + i);
        // A file that ends on a chunk boundary ends with an empty read: nothing to send.
        if (n > 0 && c_.link().writeStreamChunk(chunk, static_cast<int>(n), kChunkTimeoutMs) !=
                         static_cast<int>(n))
            return phaseFailed(itext(108));
        sent += n;
        const std::size_t percent = 100 * sent / file_.size();
        window_.progress(static_cast<int>(percent), percentText(c_.text(itext(48)), percent));
        if (n < kFirmwareChunkSize)
            break;
    }
    send(boot::kStreamEnd);
    send(boot::kIdle);
    send(boot::kStreamClose);
    c_.clock.sleepMs(kAfterStreamMs);
    return true;
}

bool Upgrade::readBack() {
    std::uint8_t block[kFirmwareBlockSize];
    for (std::size_t b = 0; b < blocks_; ++b) {
        send(boot::kReadBack);
        const std::size_t offset = b * kFirmwareBlockSize;
        const std::size_t fileBytes = std::min(kFirmwareBlockSize, file_.size() - offset);
        // A block may come in pieces; a part-filled one would compare stale bytes.
        if (readFully(c_.link(), block, kFirmwareBlockSize, kReplyTimeoutMs) < kFirmwareBlockSize)
            return phaseFailed(itext(110));
        for (std::size_t i = 0; i < fileBytes; ++i) {
            if (keyedFirmwareByte(file_[offset + i], i) != block[i])
                return phaseFailed(itext(109));
        }
        const std::size_t percent = 99 * (b + 1) / blocks_;
        window_.progress(static_cast<int>(percent), percentText(c_.text(itext(80)), percent));
    }
    return true;
}

bool Upgrade::finish() {
    send(boot::kIdle);
    send(boot::kFinish, file_[file_.size() - 1 - kFirmwareChecksumBytes]);
    std::uint8_t echo = 0;
    const int got = c_.link().readReply(&echo, 1, kReplyTimeoutMs);
    if (got == 1 && echo == boot::kFinish) {
        window_.progress(100, c_.text(itext(80)) + "100%");
        send(boot::kLeave);
        c_.frontend.beep(BeepKind::Information);
        window_.progress(0, "");
        window_.progress(100, c_.text(itext(113)));
        // Logged, and the programmer's absence while it restarts is said as such.
        c_.flags.restartingUntilMs.store(c_.clock.nowMs() + kRestartAllowanceMs);
        c_.normal(itext(113));
        c_.worker.deviceChangeFlag.store(false);
        return true;
    }
    c_.normal(got == 1 ? itext(111) : itext(112));
    send(boot::kLeave);
    send(boot::kIdle);
    return false;
}

bool Upgrade::run() {
    const bool done = start() && acknowledgeBlocks() && stream() && readBack() && finish();
    c_.flags.upgradeRunning.store(false);
    return done;
}

}  // namespace

std::uint8_t upgradeFirmware(Roles<LinkRole, ReportRole, ControlRole, ClockRole> context,
                             UpgradePort& window) {
    if (!context.link().connect(true))
        return 0;
    auto file = readFirmwareFile(window.path());
    const FirmwareFileProblem problem =
        file ? firmwareFileProblem(*file) : FirmwareFileProblem::None;
    if (!file || problem != FirmwareFileProblem::None) {
        context.alert(itext(101), true);
        window.progress(100, "");
        window.progress(0, context.text(itext(101)));
        context.box(firmwareFileRefusedText(context.texts, problem), BoxIcon::Warning);
        return 0;
    }
    Upgrade upgrade(context, window, std::move(*file));
    // A programmer already waiting in its boot loader goes straight to the start.
    if (!context.flags.programmerBlocked.load() && !upgrade.enterBootLoader()) {
        context.flags.upgradeRunning.store(false);
        return 0;
    }
    return upgrade.run() ? 1 : 0;
}

}  // namespace nyra
