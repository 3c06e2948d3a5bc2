// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/file_split.h"

#include <sys/stat.h>

#include <cerrno>
#include <limits>

#include "app/file_access.h"
#include "app/text_language.h"
#include "buffer/file_descriptor.h"
#include "tools/file_copy.h"

namespace nyra {

namespace {

constexpr std::string_view kFullWidthComma = "\xEF\xBC\x8C";  // U+FF0C in UTF-8

// A number too large for 64 bits is past any file's end, so it saturates.
std::uint64_t addDigit(std::uint64_t value, char digit) {
    const auto d = static_cast<std::uint64_t>(digit - '0');
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    if (value > (kMax - d) / 10)
        return kMax;
    return value * 10 + d;
}

// The window's success box names the pieces it wrote, which lie beside the
// source; a long list is cut short so that the box stays on the screen.
std::string withPieceNames(std::string message, const std::vector<std::string>& pieces) {
    constexpr std::size_t kShown = 20;
    message += '\n';
    for (std::size_t i = 0; i < pieces.size() && i < kShown; ++i) {
        const auto slash = pieces[i].rfind('/');
        message += '\n' + (slash == std::string::npos ? pieces[i] : pieces[i].substr(slash + 1));
    }
    if (pieces.size() > kShown)
        message += "\n\xE2\x80\xA6 (+" + std::to_string(pieces.size() - kShown) + ")";
    return message;
}

}  // namespace

std::string normaliseSplitPoints(std::string text) {
    for (std::size_t at = text.find(kFullWidthComma); at != std::string::npos;
         at = text.find(kFullWidthComma, at + 1)) {
        text.replace(at, kFullWidthComma.size(), ",");
    }
    return text;
}

bool splitPointsValid(const std::string& text) {
    if (text.empty() || text.front() == ',')
        return false;
    for (const char c : text) {
        if (c != ',' && (c < '0' || c > '9'))
            return false;
    }
    return true;
}

std::vector<SplitPiece> splitPieces(const std::string& points, std::uint64_t length) {
    std::vector<SplitPiece> pieces;
    std::uint64_t cut = 0;
    std::uint64_t number = 0;
    for (std::size_t i = 0; i <= points.size(); ++i) {
        if (i < points.size() && points[i] != ',') {
            number = addDigit(number, points[i]);
            continue;
        }
        if (number > length)
            break;
        if (number > cut) {
            pieces.push_back({cut, number});
            cut = number;
        }
        number = 0;
    }
    pieces.push_back({cut, length});
    return pieces;
}

std::string pieceName(const std::string& source, const SplitPiece& piece) {
    // Signed, so an empty last piece reads "_3000-2999" (and of an empty file "_0--1").
    const std::string text = "_" + std::to_string(piece.begin) + "-" +
                             std::to_string(static_cast<long long>(piece.end) - 1);
    const std::size_t slash = source.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = source.rfind('.');
    // A "." in a folder's name is not the file's extension.
    const std::size_t at = dot != std::string::npos && dot >= nameStart ? dot : nameStart;
    std::string name = source;
    name.insert(at, text);
    return name;
}

SplitResult splitFile(const std::string& source, const std::string& points) {
    SplitResult result;
    struct stat info {};
    Descriptor in(openForReading(source, info));
    if (in.get() < 0) {
        result.status = SplitStatus::SourceNotOpened;
        result.path = source;
        result.error = errno;
        return result;
    }
    const auto length = static_cast<std::uint64_t>(info.st_size);
    for (const SplitPiece& piece : splitPieces(points, length)) {
        const std::string name = pieceName(source, piece);
        if (isSameFile(name, info)) {
            result.status = SplitStatus::PieceIsSource;
            result.path = name;
            return result;
        }
        // Each piece whole: a failure leaves an existing file of its name as it was.
        WholeFileWriter out(name);
        if (!out.open()) {
            result.status = SplitStatus::PieceNotCreated;
            result.path = name;
            result.error = out.error();
            return result;
        }
        // The pieces follow each other from 0, so the source is read straight through.
        const CopyResult copied = copyCount(in.get(), out.fd(), piece.end - piece.begin);
        if (copied.end != CopyEnd::Done) {
            const bool readFailed = copied.end == CopyEnd::ReadFailed;
            result.status = readFailed ? SplitStatus::SourceNotRead : SplitStatus::PieceNotWritten;
            result.path = readFailed ? source : name;
            result.error = copied.error;
            return result;
        }
        if (!out.commit()) {
            result.status = SplitStatus::PieceNotWritten;
            result.path = name;
            result.error = out.error();
            return result;
        }
        result.pieces.push_back(name);
    }
    return result;
}

std::string splitMessage(const SplitResult& result, const TextTable& texts) {
    const auto text = [&texts](int key) { return texts.text(itext(key)); };
    switch (result.status) {
        case SplitStatus::Done:
            return text(159);
        case SplitStatus::SourceNotOpened:
        case SplitStatus::SourceNotRead:
            return fileMessage(text(25), result.path, errnoText(result.error));
        case SplitStatus::PieceNotCreated:
        case SplitStatus::PieceNotWritten:
            return fileMessage(text(158), result.path, errnoText(result.error));
        case SplitStatus::PieceIsSource:
            return fileMessage(text(158), result.path, readFileText(texts));
    }
    return {};
}

FileSplitTool::FileSplitTool(Frontend& frontend, const TextTable& texts)
    : frontend_(frontend), texts_(texts) {}

std::string FileSplitTool::sourceLabel() const {
    return inTextLanguage(texts_, "源文件:", "Source file:");
}

void FileSplitTool::browse() {
    FileDialogRequest request;
    request.filter = kSplitFilter;
    request.defaultExtension = ".bin";
    if (auto chosen = frontend_.openFile(request))
        sourcePath_ = std::move(*chosen);
}

void FileSplitTool::box(const std::string& text) {
    frontend_.messageBox(text, texts_.text(itext(9)), BoxIcon::Information, BoxButtons::Ok);
}

bool FileSplitTool::split() {
    if (sourcePath_.empty())
        return false;
    if (pointsText_.empty()) {
        box(texts_.text(itext(160)));
        return false;
    }
    pointsText_ = normaliseSplitPoints(std::move(pointsText_));
    if (!splitPointsValid(pointsText_)) {
        box(texts_.text(itext(157)));
        return false;
    }
    const SplitResult result = splitFile(sourcePath_, pointsText_);
    const bool done = result.status == SplitStatus::Done;
    box(done ? withPieceNames(splitMessage(result, texts_), result.pieces)
             : splitMessage(result, texts_));
    return done;
}

}  // namespace nyra
