// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "ui/frontend.h"

namespace nyra {

inline constexpr const char* kMergeFilter = "(*.bin;*.rom)|*.bin;*.rom|all files|*.*||";
inline constexpr const char* kMergeDefaultName = "Cmbin.bin";

// folder + "/" (unless it ends in one) + name, and ".bin" when the name has no ".".
std::string mergeOutputPath(const std::string& folder, const std::string& name);

enum class MergeStatus : unsigned char {
    Done,
    OutputNotCreated,
    OutputIsInput,  // emptying the output would lose an input
    InputNotOpened,
    InputNotRead,
    OutputNotWritten,
};

struct MergeResult {
    MergeStatus status = MergeStatus::Done;
    std::string path{};  // the file that failed
    int error = 0;       // its errno
    std::uint64_t bytes = 0;
};

// Joins inputs end to end into output, written whole: a failure stops there
// and leaves an existing output as it was.
MergeResult mergeFiles(const std::string& output, const std::vector<std::string>& inputs);

// The text of the box that reports result.
std::string mergeMessage(const MergeResult& result, const TextTable& texts);

// The user's home folder, where a merge goes until another is chosen; ""
// when there is none.
std::string homeFolder();

// The file merge window without its widgets.
class FileMergeTool {
public:
    FileMergeTool(Frontend& frontend, const TextTable& texts, std::string outputFolder);

    const std::string& title() const { return ftextOf(22); }
    const std::string& addCaption() const { return ftextOf(100); }
    const std::string& deleteCaption() const { return ftextOf(101); }
    const std::string& folderCaption() const { return ftextOf(99); }
    // The text files have no caption for the name field.
    std::string fileNameLabel() const;
    const std::string& okCaption() const { return ftextOf(77); }
    const std::string& cancelCaption() const { return ftextOf(76); }

    const std::vector<std::string>& files() const { return files_; }
    const std::string& outputFolder() const { return outputFolder_; }
    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string name) { fileName_ = std::move(name); }

    // The add button: the chosen files go to the end of the list, in order.
    void addFiles();
    // The delete button: every selected row goes (rows out of range are ignored).
    void removeRows(const std::vector<std::size_t>& rows);
    // The output folder button; a cancelled browser changes nothing.
    void chooseFolder();
    // The OK button; true when the files were merged.
    bool merge();

private:
    const std::string& ftextOf(int key) const { return texts_.text(ftext(key)); }
    void box(const std::string& text);

    Frontend& frontend_;
    const TextTable& texts_;
    std::vector<std::string> files_;
    std::string outputFolder_;
    std::string fileName_ = kMergeDefaultName;
};

}  // namespace nyra
