// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_saver.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/file_access.h"
#include "buffer/change_log.h"
#include "buffer/file_descriptor.h"
#include "buffer/file_name_text.h"
#include "ui/ids.h"

namespace nyra {

using namespace ids;

namespace {

// Large, so comparing a big file costs few calls; most chunks are unchanged.
constexpr std::size_t kSaveChunk = 1 << 20;
constexpr std::size_t kSaveAsChunk = 65536;
// The change log is written in pieces of about this size.
constexpr std::size_t kLogPiece = 65536;

}  // namespace

// log.txt, opened for one save. A log that cannot be written does not stop
// the save: the user's data matters more than its record.
class ChangeLogFile {
public:
    explicit ChangeLogFile(const std::string& path) {
        if (file_.open(path, O_RDWR | O_CREAT) && file_.length() >= change_log::kRestartSize &&
            !file_.truncate())
            file_.close();
    }
    ~ChangeLogFile() { flush(); }
    ChangeLogFile(const ChangeLogFile&) = delete;
    ChangeLogFile& operator=(const ChangeLogFile&) = delete;

    void add(const std::string& text) {
        pending_ += text;
        if (pending_.size() >= kLogPiece)
            flush();
    }
    void flush() {
        if (!pending_.empty()) {
            const bool written = file_.append(
                reinterpret_cast<const std::uint8_t*>(pending_.data()), pending_.size());
            (void)written;
        }
        pending_.clear();
    }

private:
    Descriptor file_;
    std::string pending_;
};

std::optional<std::string> FileSaver::askTarget(const char* filter) {
    FileDialogRequest request;
    request.filter = filter;
    request.defaultExtension = "*.bin";
    request.overwritePrompt = true;
    auto target = frontend_.saveFileDialog(request);
    if (!target)
        return std::nullopt;
    if (loader_.isProgramFile(*target)) {
        frontend_.messageBox(text(24), text(2), BoxIcon::Warning, BoxButtons::Ok);
        return std::nullopt;
    }
    return target;
}

bool FileSaver::saveFile() {
    if (!data_.isLoaded())
        return false;
    // The chip's data and an offset load's tail live in the program's own
    // files, which the next read or load replaces: a Save asks where to.
    if (loader_.loadedFromProgramCopy()) {
        const auto target = askTarget(loader_.loadedFromChip() ? kSaveChipFilter : kSaveAsFilter);
        return target && saveCopy(*target);
    }
    return patchLoadedFile();
}

void FileSaver::commitTypedEdit() {
    if (panel_.menuChecked(kCmdEditMode) && loader_.hooks().commitEdit)
        loader_.hooks().commitEdit();
}

int FileSaver::writeWholeData(const std::string& target) {
    WholeFileWriter out(target);
    if (!out.open())
        return out.error();
    std::vector<std::uint8_t> chunk(kSaveAsChunk);
    for (std::uint64_t offset = 0;; offset += kSaveAsChunk) {
        const std::size_t got = data_.working().readAt(offset, chunk.data(), kSaveAsChunk);
        if (!out.write(chunk.data(), got))
            return out.error();
        if (got < kSaveAsChunk)
            break;
    }
    return out.commit() ? 0 : out.error();
}

bool FileSaver::saveCopy(const std::string& target) {
    commitTypedEdit();
    const bool chip = loader_.loadedFromChip();
    const int error = writeWholeData(target);
    ChangeLogFile log(loader_.files().log);
    const LocalTime now = clock_.localTime();
    log.add(chip ? change_log::chipHeader(now, window_.deviceName())
                 : change_log::fileHeader(now, fileNamePart(target)));
    if (chip && error == 0)
        log.add(change_log::savedAsLine(window_.deviceName(), fileNamePart(target)));
    return finishSave(log, target, error, true);
}

bool FileSaver::patchLoadedFile() {
    commitTypedEdit();
    const std::string target = loader_.loadedPath();
    // A loaded file that has gone is an error, not a file to make up from
    // the changed bytes alone.
    Descriptor file;
    if (!file.open(target, O_RDWR)) {
        saveFailed(target, errno);
        return false;
    }

    ChangeLogFile log(loader_.files().log);
    log.add(change_log::fileHeader(clock_.localTime(), fileNamePart(target)));

    std::vector<std::uint8_t> working(kSaveChunk);
    std::vector<std::uint8_t> reference(kSaveChunk);
    bool referenceEnded = false;
    // Only the chunks around the bytes written since the load; the rest is
    // equal to the file.
    const DataBuffer::ByteRange changed = data_.changedRange();
    int error = 0;
    for (std::uint64_t offset = changed.begin - changed.begin % kSaveChunk; offset < changed.end;
         offset += kSaveChunk) {
        const std::size_t got = data_.working().readAt(offset, working.data(), kSaveChunk);
        std::size_t known = 0;
        if (!referenceEnded) {
            known = data_.reference().readAt(offset, reference.data(), kSaveChunk);
            referenceEnded = known < kSaveChunk;
        }
        if (known == got && std::memcmp(working.data(), reference.data(), got) == 0) {
            if (got < kSaveChunk)
                break;
            continue;
        }
        for (std::size_t i = 0; i < got; ++i) {
            if (i < known && working[i] == reference[i])
                continue;
            if (!file.writeAt(offset + i, &working[i], 1)) {
                error = errno;
                break;
            }
            log.add(change_log::byteLine(
                offset + i, i < known ? std::optional(reference[i]) : std::nullopt, working[i]));
        }
        if (error != 0 || got < kSaveChunk)
            break;
    }
    if (error == 0 && !file.flush())
        error = errno;
    if (!file.close() && error == 0)
        error = errno;
    return finishSave(log, target, error, false);
}

bool FileSaver::finishSave(ChangeLogFile& log, const std::string& target, int error, bool newFile) {
    if (error != 0)
        log.add(std::string("        save failed: ") + fileErrorText(error) + "\r\n");
    log.add(change_log::closingLine());
    log.flush();
    if (error != 0) {
        saveFailed(target, error);
        return false;
    }
    data_.changesSaved();
    if (newFile) {
        // The saved file becomes the data, whatever its name says.
        panel_.setText(kEditFileName, text(117));
        loader_.loadPlain(target);
    } else {
        // The saved file is the new reference: no byte shows as changed.
        data_.openReference(target);
    }
    panel_.greyMenuCommand(kCmdSaveFile);
    window_.showStatus(text(116), false);
    if (loader_.hooks().refreshView)
        loader_.hooks().refreshView();
    return true;
}

bool FileSaver::saveFileAs() {
    if (!data_.isLoaded() || window_.programStreaming())
        return false;
    const auto target = askTarget(kSaveAsFilter);
    if (!target)
        return false;
    if (*target == loader_.loadedPath() || isSameFile(*target, loader_.loadedPath()))
        return saveFile();
    commitTypedEdit();
    if (const int error = writeWholeData(*target); error != 0) {
        saveFailed(*target, error);
        return false;
    }
    window_.showStatus(text(116), false);
    if (loader_.loadedFromProgramCopy()) {
        data_.changesSaved();
        panel_.setText(kEditFileName, text(117));
        loader_.loadPlain(*target);
    }
    return true;
}

void FileSaver::saveFailed(const std::string& path, int error) {
    const std::string message = path + "\n" + fileErrorText(error);
    window_.showStatus(message, true);
    frontend_.messageBox(message, text(29), BoxIcon::Error, BoxButtons::Ok);
}

}  // namespace nyra
