// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/otp_jobs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/file_access.h"
#include "ops/identify.h"
#include "ops/job_texts.h"

namespace nyra {

namespace {

const char* const kOtpFileFilter = "bin(*.bin)|*.bin|rom(*.rom)|*.rom|(*.*)|*.*||";

std::string hexText(const char* format, unsigned a, unsigned b = 0) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    std::string out = text;
    std::replace(out.begin(), out.end(), ' ', '0');
    return out;
}

// One OTP job: the window, the table entry found, the channel, and the
// bracketing of every access with operations 5 and 6.
class OtpJob {
public:
    explicit OtpJob(OtpJobContext& context)
        : c_(context), otp_(context.job.channel), texts_(context.job.texts) {}

    const std::string& text(TextKey key) const { return texts_.text(key); }
    void append(const std::string& line) { c_.window.appendLog(line); }
    void appendLine(TextKey key) { append("\r\n" + text(key)); }
    void beep(BeepKind kind) { c_.job.frontend.beep(kind); }
    const OtpEntry& entry() const { return c_.state.match->entryOf(); }
    OtpChannel& otp() { return otp_; }
    OtpState& state() { return c_.state; }
    OtpPort& window() { return c_.window; }
    ChipJobRoles& job() { return c_.job; }

    int detect(bool beeps);
    // Detection gave one of the accepted results and the access began.
    bool enter(bool lockedToo) {
        const int found = detect(false);
        if (found != kOtpReady && !(lockedToo && found == kOtpLocked))
            return false;
        if (otp_.begin())
            return true;
        // Sent, if not answered: the programmer may be in OTP mode all the same.
        otp_.end();
        return false;
    }
    // Ends the access after a failure with its log line and the default beep.
    void fail(const std::string& line) {
        otp_.end();
        append(line);
        beep(BeepKind::Simple);
    }
    // Reads count bytes of the area from offset in steps into out, a dot
    // after each step when dots; false after a failed step, reported with
    // failText.
    bool readArea(std::uint16_t offset, std::uint16_t count, std::uint8_t* out,
                  const std::string& failText, bool dots = true);

private:
    OtpJobContext& c_;
    OtpChannel otp_;
    const TextTable& texts_;
};

int OtpJob::detect(bool beeps) {
    OtpPort& w = c_.window;
    const auto failedBeep = [&] {
        if (beeps)
            beep(BeepKind::Simple);
    };
    // A tick that showed another chip's lock is no request for this one.
    w.setLockBox(false, c_.state.lockShown ? std::optional(false) : std::nullopt);
    c_.state.lockShown = false;
    w.enableProgram(false);
    w.enableReadVerifyBlank(false);
    w.setLog("NULL");
    if (identifyChip(c_.job, true, true) != kIdentifyMatched)
        return kOtpNotFound;
    w.setLog(text(itext(130)));
    // The label text may carry its own colon already.
    std::string label = text(ftext(43));
    if (!label.ends_with(":") && !label.ends_with("："))
        label += ":";
    append("\r\n" + label + c_.job.selection.selectedDevice());
    if (c_.job.identified.last().matches.size() > 1)
        append(text(itext(131)));

    const ChipRecord* record = c_.job.catalogue.record(c_.job.selection.selectedChip());
    const auto match = record ? findOtpEntry(record->mainId) : std::nullopt;
    if (!match) {
        c_.state.match.reset();
        appendLine(itext(140));
        c_.job.box(text(itext(140)), BoxIcon::Warning);
        return kOtpNotFound;
    }
    appendLine(itext(132));
    c_.state.match = match;
    const OtpGroup& group = match->groupOf();
    c_.state.lockStateFlag = group.lockStateFlag();
    std::string sizeLine = "\r\n" + text(itext(133)) + std::to_string(entry().size);
    for (const std::uint16_t other : entry().otherSizes)
        sizeLine += "/" + std::to_string(other);
    sizeLine += "bytes";
    if (!entry().note.empty())
        sizeLine += "," + entry().note;
    append(sizeLine);

    if (!otp_.sendParameters(group.parameters)) {
        appendLine(itext(139));
        failedBeep();
        return kOtpNoParameters;
    }
    if (c_.state.lockStateFlag == 0) {
        w.setLockBox(false, std::nullopt);
        w.enableProgram(true);
        w.enableReadVerifyBlank(true);
        appendLine(itext(138));
        failedBeep();
        return kOtpReady;
    }
    if (!otp_.begin()) {
        otp_.end();
        appendLine(itext(137));
        failedBeep();
        return kOtpNoAccess;
    }
    const auto status = otp_.status();
    if (!status) {
        appendLine(itext(136));
        otp_.end();
        failedBeep();
        return kOtpNoStatus;
    }
    c_.state.lockedByte = status->lockByte;
    const bool locked = status->lockByte != 0;
    if (locked) {
        w.setLockBox(false, true);
        c_.state.lockShown = true;
        w.enableProgram(false);
    } else {
        w.setLockBox(true, std::nullopt);
        w.enableProgram(true);
    }
    w.enableReadVerifyBlank(true);
    append("\r\n" + text(itext(locked ? 134 : 135)) + hexText("(%2X)", status->value));
    otp_.end();
    if (beeps)
        beep(BeepKind::Information);
    return locked ? kOtpLocked : kOtpReady;
}

bool OtpJob::readArea(std::uint16_t offset, std::uint16_t count, std::uint8_t* out,
                      const std::string& failText, bool dots) {
    const std::uint16_t base = entry().base;
    for (std::uint16_t done = 0; done < count;) {
        const auto step = static_cast<std::uint16_t>(std::min<std::size_t>(kOtpStep, count - done));
        const auto bytes = otp_.read(static_cast<std::uint16_t>(base + offset + done), step);
        if (!bytes) {
            fail(failText);
            return false;
        }
        std::copy(bytes->begin(), bytes->end(), out + done);
        done = static_cast<std::uint16_t>(done + step);
        if (dots)
            append(".");
    }
    return true;
}

// The first bytes of the file, at most limit of them, over a 0xFF buffer.
std::optional<std::vector<std::uint8_t>> readOtpFile(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(limit, 0xFF);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

enum class Blankness { Blank, NotBlank, Unknown };

Blankness blankCheck(OtpJob& job) {
    if (!job.enter(true))
        return Blankness::Unknown;
    job.append("\r\n");
    job.state().dataLength = 0;
    job.window().enableSave(false);
    const std::uint16_t size = job.entry().size;
    std::vector<std::uint8_t> area(size);
    if (!job.readArea(0, size, area.data(), "\r\n" + job.text(itext(150)) + "(USB error)"))
        return Blankness::Unknown;
    const auto dirty =
        std::find_if(area.begin(), area.end(), [](std::uint8_t b) { return b != 0xFF; });
    if (dirty != area.end()) {
        const auto at = static_cast<unsigned>(dirty - area.begin());
        job.fail("\r\n" + job.text(itext(150)) +
                 hexText("%3XH:%2XH", job.entry().base + at, *dirty));
        return Blankness::NotBlank;
    }
    job.state().dataLength = size;
    job.appendLine(itext(151));
    job.beep(BeepKind::Information);
    job.otp().end();
    return Blankness::Blank;
}

// Nothing in the file would still end in a lock or a pass: it is refused
// before the chip is touched.
bool otpFileIsEmpty(OtpJobContext& context) {
    if (regularFileBytes(context.window.filePath()) != std::uint64_t{0})
        return false;
    context.job.box(otpFileEmptyText(context.job.texts), BoxIcon::Warning);
    return true;
}

// Writes the buffer from the area's start, then each deferred range whole.
bool writeArea(OtpJob& job, const std::vector<std::uint8_t>& file) {
    const OtpEntry& entry = job.entry();
    std::array<std::uint8_t, kOtpBufferSize> buffer{};
    buffer.fill(0xFF);
    std::copy(file.begin(), file.end(), buffer.begin());
    // The deferred bytes go last: on these parts they protect the rest.
    for (const OtpRange& range : entry.deferred)
        std::fill(buffer.begin() + (range.start - entry.base),
                  buffer.begin() + (range.end - entry.base) + 1, 0xFF);
    const auto failed = [&] { job.fail("\r\n" + job.text(itext(142))); };
    const auto length = static_cast<std::uint16_t>(file.size());
    for (std::uint16_t done = 0; done < length;) {
        const auto step =
            static_cast<std::uint16_t>(std::min<std::size_t>(kOtpStep, length - done));
        if (!job.otp().write(static_cast<std::uint16_t>(entry.base + done),
                             std::span(buffer).subspan(done, step))) {
            failed();
            return false;
        }
        done = static_cast<std::uint16_t>(done + step);
        job.append(".");
    }
    if (entry.deferred.empty())
        return true;
    std::copy(file.begin(), file.end(), buffer.begin());
    for (const OtpRange& range : entry.deferred) {
        const std::size_t offset = range.start - entry.base;
        const std::size_t count = range.end - range.start + 1u;
        if (!job.otp().write(range.start, std::span(buffer).subspan(offset, count))) {
            failed();
            return false;
        }
    }
    return true;
}

// The area from offset to its end, without log lines or the access's end.
bool readRest(OtpJob& job, std::uint16_t offset, std::uint8_t* out) {
    const OtpEntry& entry = job.entry();
    for (std::uint16_t done = offset; done < entry.size;) {
        const auto step =
            static_cast<std::uint16_t>(std::min<std::size_t>(kOtpStep, entry.size - done));
        const auto bytes = job.otp().read(static_cast<std::uint16_t>(entry.base + done), step);
        if (!bytes)
            return false;
        std::copy(bytes->begin(), bytes->end(), out + (done - offset));
        done = static_cast<std::uint16_t>(done + step);
    }
    return true;
}

}  // namespace

int detectOtp(OtpJobContext& context, bool beeps) {
    // Every detection starts without a request to lock: the tick is the
    // user's, given for the chip now in the socket.
    context.window.setLockBox(false, false);
    context.state.lockShown = false;
    OtpJob job(context);
    return job.detect(beeps);
}

std::uint8_t programOtp(OtpJobContext& context) {
    if (otpFileIsEmpty(context))
        return 0;
    OtpJob job(context);
    if (job.detect(false) != kOtpReady)
        return 0;
    const Blankness blankness = blankCheck(job);
    // A check that could not read the area is an error, not a used area.
    if (blankness == Blankness::Unknown)
        return 0;
    if (blankness == Blankness::NotBlank &&
        context.job.frontend.messageBox(job.text(itext(141)), job.text(itext(9)), BoxIcon::Warning,
                                        BoxButtons::YesNo) != BoxAnswer::Yes)
        return 0;
    if (!job.enter(false))
        return 0;
    const auto file = readOtpFile(context.window.filePath(), job.entry().size);
    if (!file) {
        context.job.box(job.text(itext(25)), BoxIcon::Warning);
        job.otp().end();
        return 0;
    }
    job.append("\r\n");
    if (!writeArea(job, *file))
        return 0;
    if (context.state.lockStateFlag != 0 && context.state.lockedByte == 0 &&
        context.window.lockTicked()) {
        job.appendLine(itext(job.otp().lock() ? 143 : 144));
    }
    job.append(job.text(itext(145)));
    job.beep(BeepKind::Information);
    job.otp().end();
    return 1;
}

std::uint8_t readOtp(OtpJobContext& context) {
    OtpJob job(context);
    if (!job.enter(true))
        return 0;
    job.append("\r\n");
    context.state.dataLength = 0;
    context.window.enableSave(false);
    const std::uint16_t size = job.entry().size;
    if (!job.readArea(0, size, context.state.data.data(), "\r\n" + job.text(itext(146))))
        return 0;
    context.state.dataLength = size;
    context.window.enableSave(true);
    job.appendLine(itext(26));
    job.beep(BeepKind::Information);
    job.otp().end();
    return 1;
}

std::uint8_t saveOtp(OtpJobContext& context) {
    OtpState& state = context.state;
    if (state.dataLength == 0) {
        context.window.enableSave(false);
        return 0;
    }
    FileDialogRequest request;
    request.filter = kOtpFileFilter;
    request.defaultExtension = "*.bin";
    request.overwritePrompt = true;
    const auto path = context.job.frontend.saveFileDialog(request);
    if (!path)
        return 0;
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    if (!out)
        return 0;
    out.write(reinterpret_cast<const char*>(state.data.data()), state.dataLength);
    out.close();
    if (!out) {
        // Not written: the data stays for another try.
        context.window.appendLog("\r\n" + context.job.texts.text(itext(25)));
        return 0;
    }
    state.dataLength = 0;
    context.window.enableSave(false);
    context.window.appendLog("," + context.job.texts.text(itext(198)));
    return 1;
}

std::uint8_t verifyOtp(OtpJobContext& context) {
    OtpJob job(context);
    std::ifstream probe(context.window.filePath(), std::ios::binary);
    if (!probe) {
        context.job.box(job.text(itext(25)), BoxIcon::Warning);
        return 0;
    }
    probe.close();
    if (otpFileIsEmpty(context))
        return 0;
    if (!job.enter(true))
        return 0;
    job.append("\r\n");
    context.state.dataLength = 0;
    context.window.enableSave(false);
    const OtpEntry& entry = job.entry();
    const auto file = readOtpFile(context.window.filePath(), entry.size);
    if (!file) {
        job.fail("\r\n" + job.text(itext(25)));
        return 0;
    }
    const auto length = static_cast<std::uint16_t>(file->size());
    // What the chip holds goes into the OTP data, so save writes the chip's bytes.
    std::uint8_t* chip = context.state.data.data();
    const std::string readFailed = "\r\n" + job.text(itext(147)) + "(USB error)";
    for (std::uint16_t done = 0; done < length;) {
        const auto step =
            static_cast<std::uint16_t>(std::min<std::size_t>(kOtpStep, length - done));
        if (!job.readArea(done, step, chip + done, readFailed, false))
            return 0;
        for (std::uint16_t i = done; i < done + step; ++i) {
            if (chip[i] == (*file)[i])
                continue;
            job.otp().end();
            job.appendLine(itext(147));
            job.append(hexText("%3XH:%2XH", entry.base + i, (*file)[i]) + "[" +
                       job.text(itext(148)) + "]" + hexText("!=%2XH", chip[i]) + "[" +
                       job.text(itext(149)) + "]");
            job.beep(BeepKind::Simple);
            return 0;
        }
        done = static_cast<std::uint16_t>(done + step);
        job.append(".");
    }
    // The rest of the area too, so that save writes the chip's whole area;
    // if that read fails, save keeps to the verified part.
    std::uint16_t kept = entry.size;
    if (length < entry.size && !readRest(job, length, chip + length))
        kept = length;
    context.state.dataLength = kept;
    context.window.enableSave(kept > 0);
    job.appendLine(itext(87));
    job.beep(BeepKind::Information);
    job.otp().end();
    return 1;
}

std::uint8_t blankCheckOtp(OtpJobContext& context) {
    OtpJob job(context);
    return blankCheck(job) == Blankness::Blank ? 1 : 0;
}

}  // namespace nyra
