// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/chip_presence.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr std::size_t kBlockSize = 8192;
constexpr int kCommandTimeoutMs = 5000;
constexpr int kShortCommandTimeoutMs = 1000;
constexpr int kEndTimeoutMs = 2000;
constexpr int kReadTimeoutMs = 5000;

std::string mismatchText(const ReportRole& context, std::uint64_t address, std::uint8_t fileByte,
                         std::uint8_t chipByte) {
    char text[1024];
    std::snprintf(text, sizeof text, "%llXH %s \r\n%s%02XH %s%02XH     \r\n%s",
                  static_cast<unsigned long long>(address), context.text(itext(29)).c_str(),
                  context.text(itext(192)).c_str(), fileByte, context.text(itext(193)).c_str(),
                  chipByte, context.text(itext(83)).c_str());
    return text;
}

class Verification {
public:
    explicit Verification(DataJobRoles context)
        : c_(context),
          chipSize_(context.selection.chipSize()),
          fileLength_(context.data.dataLength()),
          file_(kBlockSize),
          chip_(kBlockSize) {}

    std::uint8_t run();

private:
    // False when the comparison ends: a USB error or Cancel.
    bool compareBlock(std::size_t size);
    void fileBlock(std::size_t size);
    void summary();
    // Every byte of the chip compared.
    bool whole() const { return !usbError_ && !cancelled_ && address_ >= chipSize_; }

    DataJobRoles c_;
    const std::uint32_t chipSize_;
    const std::uint32_t fileLength_;
    std::vector<std::uint8_t> file_;
    std::vector<std::uint8_t> chip_;
    std::uint64_t address_ = 0;
    std::uint32_t mismatches_ = 0;
    bool askEach_ = true;
    bool usbError_ = false;
    bool cancelled_ = false;
};

void Verification::fileBlock(std::size_t size) {
    std::size_t got = 0;
    if (address_ < fileLength_)
        got = c_.data.working().readAt(address_, file_.data(), size);
    std::fill(file_.begin() + static_cast<std::ptrdiff_t>(got),
              file_.begin() + static_cast<std::ptrdiff_t>(size), 0xFF);
}

bool Verification::compareBlock(std::size_t size) {
    fileBlock(size);
    // A block that came only in part would be compared with stale bytes.
    if (readFully(c_.link(), chip_.data(), size, kReadTimeoutMs) < size) {
        c_.alert(itext(49), true);
        usbError_ = true;
        return false;
    }
    if (std::memcmp(file_.data(), chip_.data(), size) == 0) {
        address_ += size;
        c_.progress.update(address_, chipSize_);
        return true;
    }
    for (std::size_t i = 0; i < size; ++i, ++address_) {
        if (file_[i] == chip_[i])
            continue;
        ++mismatches_;
        if (!askEach_)
            continue;
        const BoxAnswer answer =
            c_.frontend.messageBox(mismatchText(c_, address_, file_[i], chip_[i]),
                                   c_.text(itext(29)), BoxIcon::Question, BoxButtons::YesNoCancel);
        if (answer == BoxAnswer::No)
            askEach_ = false;
        if (answer == BoxAnswer::Cancel) {
            c_.channel.sendCommand(cmd::kEndOfOperation, kShortCommandTimeoutMs);
            cancelled_ = true;
            ++address_;
            return false;
        }
    }
    c_.progress.update(address_, chipSize_);
    return true;
}

std::uint8_t Verification::run() {
    ChipPresence chip;
    if (!chip.begin(c_))
        return 0;
    c_.normal(itext(79));
    if (!c_.channel.sendCommand(cmd::kVerifyRead, kCommandTimeoutMs, bigEndian32(chipSize_))) {
        c_.alert(itext(49), true);
        c_.channel.sendCommand(cmd::kEndOfOperation, kShortCommandTimeoutMs);
        return 0;
    }
    JobRun run(c_, job::kVerify);
    const ElapsedTime elapsed(c_.clock);
    c_.progress.begin(c_.text(itext(80)));

    const std::uint32_t blocks = chipSize_ / kBlockSize;
    const std::size_t rest = chipSize_ % kBlockSize;
    bool going = true;
    for (std::uint32_t b = 0; b < blocks && going && !c_.flags.stopVerify.load(); ++b)
        going = compareBlock(kBlockSize);
    const bool stopped = c_.flags.stopVerify.load();
    if (rest != 0 && going && !stopped)
        going = compareBlock(rest);

    c_.progress.end();
    if (c_.jobCode() == job::kVerify)
        playFinishSound(c_);

    std::uint8_t result = 0;
    if (!usbError_) {
        const std::string time = timeText(elapsed.seconds());
        const bool overlong = chipSize_ < fileLength_;
        const bool whole = this->whole();
        if (mismatches_ > 0) {
            char text[1024];
            const std::string& tail = overlong ? c_.text(itext(85)) : std::string();
            std::snprintf(text, sizeof text, "%s%u%s%s%s", c_.text(itext(84)).c_str(), mismatches_,
                          c_.text(itext(86)).c_str(), tail.c_str(), time.c_str());
            c_.status.show(text, StatusKind::Alert, true);
        } else if (!whole) {
            // A comparison that did not reach the end proves nothing.
            c_.status.show(verifyIncompleteText(c_.texts, address_), StatusKind::Alert, false);
        } else if (overlong) {
            c_.status.show(c_.text(itext(87)) + c_.text(itext(85)), StatusKind::Alert, false);
            c_.box(c_.text(itext(87)) + "    \r\n   " + c_.text(itext(85)), BoxIcon::Warning);
            result = 1;
        } else {
            c_.status.show(c_.text(itext(87)) + time, StatusKind::Normal, false);
            result = 1;
        }
    }
    c_.flags.verifyMismatches.store(mismatches_);
    c_.channel.sendCommand(cmd::kEndOfOperation, kEndTimeoutMs);
    if (!whole())
        c_.link().markUnsettled();
    if (result == 1 && !chip.confirm(c_))
        result = 0;
    run.finish();
    return result;
}

}  // namespace

std::uint8_t verifyChip(DataJobRoles context, bool direct) {
    JobFlags& flags = context.flags;
    flags.stopVerify.store(false);
    if (!programmerFree(context))
        return 0;
    if (direct && !startChecks(context))
        return 0;
    if (flags.verifyRunning.load())
        return 0;
    if (!dataFileLoaded(context))
        return 0;
    return Verification(context).run();
}

}  // namespace nyra
