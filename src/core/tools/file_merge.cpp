// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_merge.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "app/file_access.h"
#include "app/text_language.h"
#include "buffer/file_descriptor.h"
#include "tools/file_copy.h"

namespace nyra {

std::string mergeOutputPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.ends_with('/'))
        path += '/';
    path += name;
    if (name.find('.') == std::string::npos)
        path += ".bin";
    return path;
}

MergeResult mergeFiles(const std::string& output, const std::vector<std::string>& inputs) {
    MergeResult result;
    // Emptying the output must not destroy an input that is the same file
    // under this or another name.
    for (const std::string& input : inputs) {
        struct stat info {};
        if (::stat(input.c_str(), &info) == 0 && isSameFile(output, info)) {
            result.status = MergeStatus::OutputIsInput;
            result.path = output;
            return result;
        }
    }
    // Written whole: a failure leaves an existing output as it was.
    WholeFileWriter out(output);
    if (!out.open()) {
        result.status = MergeStatus::OutputNotCreated;
        result.path = output;
        result.error = out.error();
        return result;
    }
    for (const std::string& input : inputs) {
        struct stat info {};
        Descriptor in(openForReading(input, info));
        if (in.get() < 0) {
            result.status = MergeStatus::InputNotOpened;
            result.path = input;
            result.error = errno;
            return result;
        }
        const CopyResult copied = copyToEnd(in.get(), out.fd());
        result.bytes += copied.copied;
        if (copied.end != CopyEnd::Done) {
            const bool readFailed = copied.end == CopyEnd::ReadFailed;
            result.status = readFailed ? MergeStatus::InputNotRead : MergeStatus::OutputNotWritten;
            result.path = readFailed ? input : output;
            result.error = copied.error;
            return result;
        }
    }
    if (!out.commit()) {
        result.status = MergeStatus::OutputNotWritten;
        result.path = output;
        result.error = out.error();
    }
    return result;
}

std::string mergeMessage(const MergeResult& result, const TextTable& texts) {
    const auto text = [&texts](int key) { return texts.text(itext(key)); };
    switch (result.status) {
        case MergeStatus::Done:
            return text(155);
        case MergeStatus::OutputNotCreated:
        case MergeStatus::OutputNotWritten:
            return fileMessage(text(156), result.path, errnoText(result.error));
        case MergeStatus::OutputIsInput:
            return fileMessage(text(156), result.path, readFileText(texts));
        case MergeStatus::InputNotOpened:
        case MergeStatus::InputNotRead:
            return fileMessage(text(25), result.path, errnoText(result.error));
    }
    return {};
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr)
        return user->pw_dir;
    return {};
}

FileMergeTool::FileMergeTool(Frontend& frontend, const TextTable& texts, std::string outputFolder)
    : frontend_(frontend), texts_(texts), outputFolder_(std::move(outputFolder)) {}

void FileMergeTool::addFiles() {
    FileDialogRequest request;
    request.filter = kMergeFilter;
    request.defaultExtension = ".bin";
    request.multiSelect = true;
    for (std::string& path : frontend_.openFileDialog(request))
        files_.push_back(std::move(path));
}

std::string FileMergeTool::fileNameLabel() const {
    return inTextLanguage(texts_, "文件名:", "File name:");
}

void FileMergeTool::removeRows(const std::vector<std::size_t>& rows) {
    std::vector<std::size_t> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // From the last row up, so the earlier rows keep their numbers.
    for (auto row = sorted.rbegin(); row != sorted.rend(); ++row) {
        if (*row < files_.size())
            files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(*row));
    }
}

void FileMergeTool::chooseFolder() {
    if (auto folder = frontend_.browseFolder(chooseFolderTitle(texts_)))
        outputFolder_ = std::move(*folder);
}

void FileMergeTool::box(const std::string& text) {
    frontend_.messageBox(text, texts_.text(itext(9)), BoxIcon::Information, BoxButtons::Ok);
}

bool FileMergeTool::merge() {
    if (outputFolder_.empty()) {
        box(texts_.text(itext(153)));
        return false;
    }
    if (fileName_.empty()) {
        box(texts_.text(itext(154)));
        return false;
    }
    const MergeResult result = mergeFiles(mergeOutputPath(outputFolder_, fileName_), files_);
    box(mergeMessage(result, texts_));
    return result.status == MergeStatus::Done;
}

}  // namespace nyra
