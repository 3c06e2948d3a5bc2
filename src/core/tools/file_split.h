// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "ui/frontend.h"

namespace nyra {

inline constexpr const char* kSplitFilter =
    "*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.cap(*.cap)|*.cap|all files(*.*)|*.*||";

// Every full-width comma "，" becomes ",".
std::string normaliseSplitPoints(std::string text);
// Only digits and commas, and not starting with a comma.
bool splitPointsValid(const std::string& text);

// Bytes [begin, end) of the source; an empty last piece has begin == end.
struct SplitPiece {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    friend bool operator==(const SplitPiece&, const SplitPiece&) = default;
};

// The pieces valid points cut a file of length bytes into, in order: a point
// past the length ends the list of points, a point not past the previous cut
// is skipped, and the last piece runs to the end of the file.
std::vector<SplitPiece> splitPieces(const std::string& points, std::uint64_t length);

// The source path with "_first-last" before the last "." of its file name,
// or in front of the file name when it has none.
std::string pieceName(const std::string& source, const SplitPiece& piece);

enum class SplitStatus : unsigned char {
    Done,
    SourceNotOpened,
    SourceNotRead,
    PieceNotCreated,
    PieceIsSource,  // the piece's name leads back to the source
    PieceNotWritten,
};

struct SplitResult {
    SplitStatus status = SplitStatus::Done;
    std::string path{};                 // the file that failed
    int error = 0;                      // its errno
    std::vector<std::string> pieces{};  // the pieces written in full, in order
};

// Cuts source at valid points into piece files beside it, each created or
// emptied. A failure stops there; pieces written before it stay.
SplitResult splitFile(const std::string& source, const std::string& points);

// The text of the box that reports result.
std::string splitMessage(const SplitResult& result, const TextTable& texts);

// The file split window without its widgets.
class FileSplitTool {
public:
    FileSplitTool(Frontend& frontend, const TextTable& texts);

    const std::string& title() const { return ftextOf(23); }
    const std::string& openCaption() const { return ftextOf(98); }
    // The text files have no caption for the source field.
    std::string sourceLabel() const;
    const std::string& pointsLabel() const { return ftextOf(66); }
    const std::string& example() const { return ftextOf(67); }
    const std::string& okCaption() const { return ftextOf(77); }
    const std::string& cancelCaption() const { return ftextOf(76); }

    const std::string& sourcePath() const { return sourcePath_; }
    const std::string& pointsText() const { return pointsText_; }
    void setPointsText(std::string text) { pointsText_ = std::move(text); }

    // The open button; a cancelled dialog changes nothing.
    void browse();
    // The OK button; true when the file was split. The points field may have
    // changed (full-width commas), so the window shows it again.
    bool split();

private:
    const std::string& ftextOf(int key) const { return texts_.text(ftext(key)); }
    void box(const std::string& text);

    Frontend& frontend_;
    const TextTable& texts_;
    std::string sourcePath_;
    std::string pointsText_;
};

}  // namespace nyra
