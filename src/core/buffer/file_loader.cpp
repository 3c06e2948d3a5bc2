// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/file_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/file_access.h"
#include "app/text_language.h"
#include "buffer/file_descriptor.h"
#include "buffer/file_name_text.h"
#include "ui/ids.h"

namespace nyra {

using namespace ids;

namespace {

constexpr std::size_t kLoadChunk = 1 << 20;

// The data length is 32-bit: 4 GiB and more cannot be held.
constexpr std::uint64_t kLargestData = 0xFFFFFFFFull;

}  // namespace

bool FileLoader::isProgramFile(const std::string& path) const {
    return isProgramImageName(path) || isSameFile(path, files_.readImage) ||
           isSameFile(path, files_.working);
}

bool FileLoader::mayReplaceData() {
    if (!data_.isLoaded() || data_.changedRange().empty())
        return true;
    return frontend_.messageBox(discardEditsText(texts_), text(9), BoxIcon::Question,
                                BoxButtons::YesNo) == BoxAnswer::Yes;
}

bool FileLoader::loadFile(const std::string& path, bool userChoice, const std::string& shownAs) {
    if (userChoice && isProgramFile(path)) {
        frontend_.messageBox(text(24), text(2), BoxIcon::Warning, BoxButtons::Ok);
        return false;
    }
    // The offset window asks when it loads.
    if (userChoice && !isCapFile(path) && !mayReplaceData())
        return false;
    if (isCapFile(path)) {
        if (hooks_.addressOffset)
            hooks_.addressOffset(path, kCapFileOffset);
        return false;
    }
    return loadPlain(path, shownAs);
}

bool FileLoader::loadPlain(const std::string& path, const std::string& shownAs) {
    const bool readImage = path == files_.readImage;
    // The copy would empty its own source first.
    if (isSameFile(path, files_.working)) {
        frontend_.messageBox(text(24), text(2), BoxIcon::Warning, BoxButtons::Ok);
        return false;
    }

    // Checked before anything is closed, so a file that cannot be loaded
    // leaves the current data as it was.
    // A FIFO or a device is refused: it could block for good or never end.
    struct stat info {};
    Descriptor source(openRegularFile(path, info));
    if (source.get() < 0) {
        const int error = errno;
        window_.showStatus(text(25), true);
        errorBox(text(25) + "\n" + path + "\n" + fileErrorText(error));
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kLargestData) {
        window_.showStatus(text(25), true);
        errorBox(text(25) + "\n" + path + "\n" +
                 sizeText(static_cast<std::uint64_t>(info.st_size)) +
                 ": 4 GiB or more cannot be loaded.");
        return false;
    }

    data_.reset();
    window_.clearLoadedFile();
    loadedPath_ = path;

    Descriptor working(
        ::open(files_.working.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (working.get() < 0) {
        loadFailed(readImage, files_.working + "\n" + std::strerror(errno));
        return false;
    }
    std::uint64_t checksum = 0;
    std::uint64_t copied = 0;
    // Large chunks: fewer calls; the sum is the same for any chunk size.
    std::vector<std::uint8_t> chunk(kLoadChunk);
    for (;;) {
        const ssize_t got = readChunk(source.get(), chunk.data(), chunk.size());
        if (got < 0) {
            loadFailed(readImage, path + "\n" + std::strerror(errno));
            return false;
        }
        if (hooks_.stopRequested && hooks_.stopRequested()) {
            loadFailed(readImage, path + "\n" + fileErrorText(EINTR));
            return false;
        }
        const auto count = static_cast<std::size_t>(got);
        // A file that grows while it is read stops at what can be held.
        copied += count;
        if (copied > kLargestData) {
            loadFailed(readImage,
                       path + "\n" + sizeText(copied) + ": 4 GiB or more cannot be loaded.");
            return false;
        }
        if (!writeAll(working.get(), chunk.data(), count)) {
            loadFailed(readImage, files_.working + "\n" + std::strerror(errno));
            return false;
        }
        checksum += sumBytes(chunk.data(), count);
        if (count < chunk.size())
            break;
    }
    if (!working.close()) {
        loadFailed(readImage, files_.working + "\n" + std::strerror(errno));
        return false;
    }
    source.close();

    if (!data_.openWorking(files_.working)) {
        loadFailed(readImage, files_.working + "\n" + std::strerror(errno));
        return false;
    }
    // The reference only marks changed bytes; without it every byte shows as changed.
    data_.openReference(path);
    data_.loaded(checksum);
    showLoaded(path, readImage, shownAs);
    return true;
}

void FileLoader::showLoaded(const std::string& path, bool readImage, const std::string& shownAs) {
    const std::uint32_t length = data_.dataLength();
    const std::string size = sizeText(length);
    const std::uint32_t chipSize = window_.chipSize();
    data_.updateChipChecksum(chipSize);
    panel_.setText(kTextChipChecksum, data_.chipChecksumText());
    data_.updateRows(chipSize);
    if (hooks_.rowsChanged)
        hooks_.rowsChanged();

    const bool editMode = panel_.menuChecked(kCmdEditMode);
    if (!readImage) {
        const std::string& shown = shownAs.empty() ? path : shownAs;
        window_.logDataFile(shown, length);
        window_.showStatus(text(189), false);
        if (hooks_.clearFocus)
            hooks_.clearFocus(true);
        panel_.setText(kTextFileChecksum, data_.dataChecksumText());
        panel_.setText(kWindowTitle,
                       std::string(kMainWindowTitle) + " - " + fileNamePart(shown) + "  " + size);
        panel_.setText(kEditFileName, shortenedFileNameText(shown));
        window_.setLoadedFile(path, length);
        for (const int id : {kCmdSaveAs, kCmdFind, kCmdGoTo, kCmdEditMode, kCmdDataView})
            panel_.enableMenuCommand(id);
        // Nothing to save until something is edited.
        panel_.greyMenuCommand(kCmdSaveFile);
    } else {
        window_.showStatus(text(26), false);
        window_.setLoadedFile(path, length);
        if (hooks_.clearFocus)
            hooks_.clearFocus(false);
        panel_.setText(kTextFileChecksum, data_.dataChecksumText());
        panel_.setText(kWindowTitle,
                       std::string(kMainWindowTitle) + " - " + window_.deviceName() + "_" + size);
        // The chip's data has no file yet, so it can be saved at once.
        for (const int id :
             {kCmdSaveAs, kCmdFind, kCmdDataView, kCmdEditMode, kCmdSaveFile, kCmdGoTo})
            panel_.enableMenuCommand(id);
        panel_.setText(kEditFileName, text(27));
    }
    if (editMode)
        panel_.enableMenuCommand(kCmdFileFill);
    if (hooks_.refreshView)
        hooks_.refreshView();
}

void FileLoader::loadFailed(bool readImage, const std::string& detail) {
    // Whatever reached the working file is not data: nothing is loaded, and
    // nothing on the window may claim otherwise, nor a partial copy stay behind.
    data_.reset();
    ::unlink(files_.working.c_str());
    data_.setDataChecksum(0);
    window_.clearLoadedFile();
    panel_.setText(kTextFileChecksum, kNoChecksumText);
    panel_.setText(kTextChipChecksum, kNoChecksumText);
    panel_.setText(kWindowTitle, kMainWindowTitle);
    panel_.setText(kEditFileName, text(0));
    for (const int id : {kCmdSaveFile, kCmdSaveAs, kCmdFind, kCmdFileFill, kCmdGoTo, kCmdDataView})
        panel_.greyMenuCommand(id);
    data_.updateRows(window_.chipSize());
    if (hooks_.clearFocus)
        hooks_.clearFocus(!readImage);  // back to the top
    if (hooks_.rowsChanged)
        hooks_.rowsChanged();
    if (hooks_.refreshView)
        hooks_.refreshView();

    const int message = readImage ? 146 : 25;
    window_.showStatus(text(message), true);
    errorBox(text(message) + "\n" + detail);
}

std::string discardEditsText(const TextTable& texts) {
    return inTextLanguage(
        texts, "当前数据有未保存的修改，放弃这些修改并载入新数据吗？",
        "The data holds changes that were not saved. Discard them and load the new data?");
}

void FileLoader::errorBox(const std::string& message) {
    frontend_.messageBox(message, text(29), BoxIcon::Error, BoxButtons::Ok);
}

void FileLoader::openFile() {
    FileDialogRequest request;
    request.filter = kOpenFileFilter;
    request.defaultExtension = ".*";
    if (const auto path = frontend_.openFile(request))
        loadFile(*path, true);
}

void FileLoader::filesDropped(const std::vector<std::string>& paths) {
    if (!panel_.enabled(kBtnBrowse)) {
        frontend_.messageBox(text(119), text(9), BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    if (!paths.empty())
        loadFile(paths.front(), true);
}

}  // namespace nyra
