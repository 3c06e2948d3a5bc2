// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/chip_fill_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "buffer/file_descriptor.h"
#include "device/frames.h"
#include "device/protocol.h"
#include "ops/identify.h"
#include "ops/job_frame.h"

namespace nyra {

using namespace ids;

namespace {

constexpr std::uint64_t kReadPiece = 1024;
constexpr std::uint64_t kWritePiece = 4096;
constexpr int kCommandTimeoutMs = 5000;
constexpr int kReadTimeoutMs = 5000;
constexpr int kBlockStatusTimeoutMs = 50000;
constexpr int kStreamTimeoutMs = 60000;
constexpr int kWriteStatusTimeoutMs = 60000;
constexpr std::size_t kProgressRestart = 17;
// A unit of 2^32 bytes or more is no erase unit of a chip the size field can hold.
constexpr unsigned kLargestUnitExponent = 31;
constexpr std::uint8_t kNoUnits = 255;
constexpr std::uint8_t kBlockReady = 0x01;  // the block is sent, its new contents may come
constexpr std::uint8_t kBlockWritten = 0x02;

// Opened without waiting, so that a FIFO cannot hold the window or the job.
int openForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

std::optional<std::uint64_t> regularFileLength(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

// Positioned reads until count bytes came; false when the file ended first
// or a read failed (errno then says why).
bool readAt(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The erase unit the programmer sends and takes back: the sector, or for
// chips without sectors the page.
std::optional<std::uint64_t> fillUnitBytes(const ChipParameterBlock& block) {
    const unsigned sector = block.sectorSizeCode();
    if (sector == kNoUnits)
        return std::nullopt;
    unsigned exponent = 0;
    if (sector != 0) {
        exponent = sector + 10;
    } else {
        const unsigned page = block.pageSizeCode();
        exponent = page == 255 ? 8 : page;
        if (block.sixteenBit())
            ++exponent;
    }
    if (exponent > kLargestUnitExponent)
        return std::nullopt;
    return std::uint64_t{1} << exponent;
}

std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// What the range is filled with, by offset into the range: one value (a
// byte, or a word high byte first), or a file. Past the file's end its last
// byte (word) repeats; a 16-bit chip pairs an odd last byte with 0xFF.
class FillSource {
public:
    FillSource(std::uint8_t first, std::uint8_t second) : value_{first, second} {}

    // False with error() set when the file cannot be used.
    bool openFile(const std::string& path, bool sixteenBit) {
        file_.emplace(openForReading(path));
        if (file_->get() < 0) {
            error_ = errno;
            return false;
        }
        const std::optional<std::uint64_t> length = regularFileLength(file_->get());
        if (!length || *length == 0)
            return false;
        length_ = *length;
        const std::uint64_t whole = sixteenBit ? (length_ + 1) / 2 * 2 : length_;
        const std::uint64_t last = sixteenBit ? whole - 2 : whole - 1;
        if (!readAt(file_->get(), last, value_.data(), 1))
            return failed();
        if (!sixteenBit)
            value_[1] = value_[0];
        else if (whole > length_)
            value_[1] = 0xFF;
        else if (!readAt(file_->get(), last + 1, &value_[1], 1))
            return failed();
        return true;
    }

    bool bytesAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        std::size_t fromFile = 0;
        if (file_ && offset < length_) {
            fromFile = static_cast<std::size_t>(std::min<std::uint64_t>(count, length_ - offset));
            if (!readAt(file_->get(), offset, out, fromFile))
                return failed();
        }
        for (std::size_t i = fromFile; i < count; ++i)
            out[i] = value_[(offset + i) & 1];
        return true;
    }

    int error() const { return error_; }

private:
    bool failed() {
        error_ = errno;
        return false;
    }

    std::array<std::uint8_t, 2> value_;
    std::optional<Descriptor> file_;
    std::uint64_t length_ = 0;
    int error_ = 0;
};

// del.f: one unit's merged contents, gone when the unit is done with.
class ScratchFile {
public:
    explicit ScratchFile(std::string path)
        : path_(std::move(path)),
          fd_(::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644)),
          error_(fd_.get() < 0 ? errno : 0) {}
    ~ScratchFile() {
        if (fd_.get() >= 0)
            ::unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    int get() const { return fd_.get(); }
    int error() const { return error_; }

private:
    std::string path_;
    Descriptor fd_;
    int error_;
};

enum class Outcome : std::uint8_t { Done, UsbFailed, FileFailed };

struct FillRange {
    std::uint64_t address = 0;
    std::uint64_t length = 0;
};

// The units of one fill, in address order.
class FillRun {
public:
    FillRun(ChipJobRoles context, ChipFillWindow& window, FillSource& source, std::string fillPath,
            FillRange range, std::uint64_t unit, std::string scratchPath)
        : context_(context),
          window_(window),
          source_(source),
          fillPath_(std::move(fillPath)),
          range_(range),
          unit_(unit),
          scratchPath_(std::move(scratchPath)),
          progress_(context.text(itext(99))) {}

    Outcome fillUnit(std::uint32_t start, std::uint64_t index) {
        Link& link = context_.link();
        ScratchFile scratch(scratchPath_);
        if (scratch.get() < 0)
            return fileFailed(scratchPath_, scratch.error());
        if (!context_.channel.sendCommand(cmd::kFillBlock, kCommandTimeoutMs, bigEndian32(start)))
            return Outcome::UsbFailed;

        // A unit that does not come in full is not written back as if whole.
        const std::uint64_t piece = std::min(unit_, kReadPiece);
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(piece));
        std::uint64_t received = 0;
        while (received < unit_) {
            const auto wanted = static_cast<int>(std::min(piece, unit_ - received));
            const int got = link.readReply(buffer.data(), wanted, kReadTimeoutMs);
            if (got <= 0)
                return Outcome::UsbFailed;
            const auto count = static_cast<std::size_t>(std::min(got, wanted));
            if (!merge(start + received, buffer.data(), count))
                return fileFailed(fillPath_, source_.error());
            if (!writeAll(scratch.get(), buffer.data(), count))
                return fileFailed(scratchPath_, errno);
            received += count;
        }
        std::uint8_t status = 0;
        if (link.readReply(&status, 1, kBlockStatusTimeoutMs) < 1 || status != kBlockReady)
            return Outcome::UsbFailed;

        if (index % 2 == 1) {
            progress_ += '.';
            if (characterCount(progress_) >= kProgressRestart)
                progress_ = context_.text(itext(99));
        }
        window_.panel().setText(kChipFillStatus, progress_);

        std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(unit_, kWritePiece)));
        for (std::uint64_t sent = 0; sent < unit_;) {
            const auto size = static_cast<std::size_t>(std::min(unit_ - sent, kWritePiece));
            if (!readAt(scratch.get(), sent, chunk.data(), size))
                return fileFailed(scratchPath_, errno);
            // The unit is written by command 2 only: a chunk not taken ends the fill before it.
            if (link.writeStreamChunk(chunk.data(), static_cast<int>(size), kStreamTimeoutMs) !=
                static_cast<int>(size))
                return Outcome::UsbFailed;
            sent += size;
        }
        if (!context_.channel.sendCommand(cmd::kStreamEnd, kCommandTimeoutMs))
            return Outcome::UsbFailed;
        if (link.readReply(&status, 1, kWriteStatusTimeoutMs) < 1 || status != kBlockWritten)
            return Outcome::UsbFailed;
        return Outcome::Done;
    }

    const std::string& failedFile() const { return failedFile_; }
    int failedError() const { return failedError_; }

private:
    // The fill's bytes over the chip's where the piece at position lies in the range.
    bool merge(std::uint64_t position, std::uint8_t* bytes, std::size_t count) {
        const std::uint64_t from = std::max(position, range_.address);
        const std::uint64_t to = std::min(position + count, range_.address + range_.length);
        if (from >= to)
            return true;
        return source_.bytesAt(from - range_.address, bytes + (from - position),
                               static_cast<std::size_t>(to - from));
    }

    Outcome fileFailed(std::string path, int error) {
        failedFile_ = std::move(path);
        failedError_ = error;
        return Outcome::FileFailed;
    }

    ChipJobRoles context_;
    ChipFillWindow& window_;
    FillSource& source_;
    std::string fillPath_;
    FillRange range_;
    std::uint64_t unit_;
    std::string scratchPath_;
    std::string progress_;
    std::string failedFile_;
    int failedError_ = 0;
};

// The window cannot be closed from here to the job's end.
class FillingHold {
public:
    explicit FillingHold(ChipFillWindow& window) : window_(window) { window_.setFilling(true); }
    ~FillingHold() { window_.setFilling(false); }
    FillingHold(const FillingHold&) = delete;
    FillingHold& operator=(const FillingHold&) = delete;

private:
    ChipFillWindow& window_;
};

void reportFileFailure(const ReportRole& context, ChipFillWindow& window, const std::string& path,
                       int error) {
    window.showStatus(itext(97));
    context.alert(itext(97), true);
    std::string message = context.text(itext(97)) + "\n" + path;
    if (error != 0)
        message += std::string("\n") + std::strerror(error);
    context.box(message, BoxIcon::Warning);
}

}  // namespace

ChipFillWindow::ChipFillWindow(std::function<void()> startFill, Frontend& frontend,
                               const TextTable& texts)
    : startFill_(std::move(startFill)), frontend_(frontend), texts_(texts) {}

std::string ChipFillWindow::title() const {
    const std::string& text = texts_.text(kChipFillTitle);
    return text.empty() ? kChipFillTemplateTitle : text;
}

void ChipFillWindow::open(bool sixteenBit) {
    sixteenBit_.store(sixteenBit);
    panel_.setText(kChipFillAddressLabel, texts_.text(ftext(97)));
    panel_.setText(kChipFillLengthLabel, texts_.text(ftext(103)));
    panel_.setText(kChipFillDataLabel, texts_.text(ftext(104)));
    panel_.setText(kChipFillNote, texts_.text(ftext(105)));
    panel_.setText(kChipFillStatusLabel, texts_.text(ftext(96)));
    panel_.setText(kChipFillBrowse, texts_.text(ftext(98)));
    panel_.setText(kChipFillFileMode, texts_.text(ftext(135)));
    panel_.setText(kChipFillAction, texts_.text(ftext(77)));
    panel_.setText(kChipFillCancel, texts_.text(ftext(76)));
    checks_.reset();
    panel_.setText(kChipFillStatus, "");
    panel_.setText(kChipFillPath, "");
    panel_.setVisible(kChipFillWord, sixteenBit);
    panel_.setEnabled(kChipFillWord, sixteenBit);
    panel_.setVisible(kChipFillByte, !sixteenBit);
    panel_.setEnabled(kChipFillByte, !sixteenBit);
    setFileMode(false);
    panel_.setEnabled(kChipFillCancel, closeAllowed());
}

void ChipFillWindow::fieldChanged(int id, int caret, const FieldChecks::PutCaret& putCaret) {
    checks_.changed(id, caret, putCaret);
}

void ChipFillWindow::setFileMode(bool on) {
    panel_.setChecked(kChipFillFileMode, on);
    panel_.setEnabled(kChipFillPath, on);
    panel_.setEnabled(kChipFillBrowse, on);
    // Only the data field of the chip's organisation: the other stays hidden and disabled.
    panel_.setEnabled(dataField(), !on);
    panel_.setEnabled(kChipFillLength, !on);
}

void ChipFillWindow::browse() {
    FileDialogRequest request;
    request.filter = kChipFillFileFilter;
    request.defaultExtension = ".*";
    const std::optional<std::string> path = frontend_.openFile(request);
    if (!path)
        return;
    panel_.setText(kChipFillPath, *path);
    const Descriptor file(openForReading(*path));
    if (file.get() < 0)
        return;
    const std::optional<std::uint64_t> bytes = regularFileLength(file.get());
    if (!bytes)
        return;
    // A 16-bit chip counts words: the range covers the file's last byte too.
    const std::uint64_t length = sixteenBit() ? (*bytes + 1) / 2 : *bytes;
    checks_.write(kChipFillLength, std::to_string(length));
}

void ChipFillWindow::fill() {
    const bool fileMode = panel_.checked(kChipFillFileMode);
    if (fileMode && panel_.text(kChipFillPath).empty())
        return refuse(itext(199));
    if (panel_.text(kChipFillAddress).empty())
        return refuse(itext(162));
    // No length is a range of nothing, or of the whole address space once one is taken away.
    const std::string length = panel_.text(kChipFillLength);
    if (length.empty() || parseDecimalField(length) == 0)
        return refuse(itext(163));
    if (!fileMode && panel_.text(dataField()).empty())
        return refuse(itext(164));
    // A second press while the chip is written would only fill it again.
    if (filling_.load())
        return;
    startFill_();
}

void ChipFillWindow::setFilling(bool on) {
    filling_.store(on);
    panel_.setEnabled(kChipFillCancel, !on);
}

void ChipFillWindow::refuse(TextKey key) {
    showStatus(key);
    frontend_.messageBox(texts_.text(key), texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
}

std::uint8_t fillChip(ChipJobRoles context, ChipFillWindow& window,
                      const std::string& scratchPath) {
    if (!programmerFree(context))
        return 0;
    const ChipParameterBlock block = context.selection.parameterBlock();
    const std::optional<std::uint64_t> unit = fillUnitBytes(block);
    if (!unit) {
        window.showStatus(itext(96));
        context.alert(itext(97), true);
        return 0;
    }
    const bool sixteenBit = block.sixteenBit();
    const auto failed = [&] {
        window.showStatus(itext(97));
        context.alert(itext(97), true);
        return std::uint8_t{0};
    };
    // The fields count bytes or words as the window was opened for.
    if (sixteenBit != window.sixteenBit())
        return failed();

    Panel& fields = window.panel();
    const bool fileMode = fields.checked(kChipFillFileMode);
    const std::uint64_t factor = sixteenBit ? 2 : 1;
    const FillRange range{parseHexField(fields.text(kChipFillAddress)) * factor,
                          parseDecimalField(fields.text(kChipFillLength)) * factor};
    const std::string path = fields.text(kChipFillPath);
    // A word's first two digits are its first byte: "FF" is 00 FF.
    const auto byte = static_cast<std::uint8_t>(parseHexField(fields.text(kChipFillByte)));
    const auto value = static_cast<std::uint16_t>(
        sixteenBit ? parseHexField(fields.text(kChipFillWord)) : byte * 0x101u);
    FillSource source(static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value));

    const std::uint32_t chip = context.selection.selectedChip();
    if (context.autoIdentifyOn()) {
        const int found = identifyChip(context, true, true);
        if (found == kIdentifyFailed || found == kIdentifyNoProgrammer) {
            window.showStatus(itext(97));
            return 0;
        }
    } else if (context.link().ensureLink() == kLinkStop) {
        window.showStatus(itext(97));
        return 0;
    }
    if (context.flags.chipChanged.load() && context.autoIdentifyOn())
        return 0;
    // Another chip in the socket has its own units and organisation.
    if (context.selection.selectedChip() != chip)
        return failed();

    // Wide arithmetic: an end past 4 GiB must not wrap round into the chip.
    if (range.length == 0 || range.address + range.length > context.selection.chipSize()) {
        window.showStatus(itext(98));
        context.alert(itext(97), true);
        return 0;
    }
    const std::uint64_t first = range.address / *unit;
    const std::uint64_t units = (range.address + range.length - 1) / *unit - first + 1;

    window.showStatus(itext(99));
    const FillingHold hold(window);
    if (fileMode && !source.openFile(path, sixteenBit)) {
        reportFileFailure(context, window, path, source.error());
        return 0;
    }
    FillRun run(context, window, source, path, range, *unit, scratchPath);
    Outcome outcome = Outcome::Done;
    for (std::uint64_t i = 0; i < units && outcome == Outcome::Done; ++i)
        outcome = run.fillUnit(static_cast<std::uint32_t>((first + i) * *unit), i);

    switch (outcome) {
        case Outcome::Done:
            window.showStatus(itext(100));
            context.normal(itext(100));
            break;
        case Outcome::UsbFailed:
            window.showStatus(itext(49));
            context.alert(itext(49), true);
            break;
        case Outcome::FileFailed:
            reportFileFailure(context, window, run.failedFile(), run.failedError());
            break;
    }
    return 0;
}

}  // namespace nyra
