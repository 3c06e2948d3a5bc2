// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "buffer/load_window.h"
#include "ui/frontend.h"
#include "ui/panel.h"

namespace nyra {

inline constexpr std::uint32_t kCapFileOffset = 2048;
// The address-offset tool's copy of a file's tail, in the temp folder.
inline constexpr const char* kOffsetCopyName = "tempFile.bin";
inline constexpr const char* kOpenFileFilter =
    "*.*|*.*|*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.cap(*.cap)|*.cap||";

// The program's files beside it.
struct ProgramFiles {
    std::string readImage;     // u_mod0.dll, written by the read job
    std::string working;       // u_mod1.dll, the data buffer
    std::string log;           // log.txt, which also takes the change log of a save
    std::string offsetCopy{};  // temp/tempFile.bin, the tail an offset load copied
};

// The question before a load replaces edits that were never saved; no text
// set holds it, so it follows the language of the texts.
std::string discardEditsText(const TextTable& texts);

// Fills the data buffer from a file: copies it into the working file,
// keeps it open as the reference and sets the window's texts and menus.
class FileLoader {
public:
    FileLoader(DataBuffer& data, Panel& panel, Frontend& frontend, const TextTable& texts,
               LoadWindow& window)
        : data_(data), panel_(panel), frontend_(frontend), texts_(texts), window_(window) {}

    void setFiles(ProgramFiles files) { files_ = std::move(files); }
    const ProgramFiles& files() const { return files_; }
    LoadHooks& hooks() { return hooks_; }

    // True when data was loaded. userChoice: picked or dropped by the user
    // (the program's own image files are refused then). shownAs: the name the
    // title, the file field and the log give it, when not its own (a batch
    // chip's copy of the user's document).
    bool loadFile(const std::string& path, bool userChoice, const std::string& shownAs = {});
    // The file's bytes from its start, whatever its name says (a file just saved).
    bool loadPlain(const std::string& path, const std::string& shownAs = {});
    // One of the program's own image files, by name or as the same file
    // through a link: never the user's data, never a place to save it.
    bool isProgramFile(const std::string& path) const;
    // True when nothing unsaved would be lost, or the user chose to discard it.
    bool mayReplaceData();
    // The browse button: the open dialog, then loadFile.
    void openFile();
    // Files dropped onto the hex grid: the first is loaded while browsing is allowed.
    void filesDropped(const std::vector<std::string>& paths);

    // The path last handed to the loader, empty before the first load.
    const std::string& loadedPath() const { return loadedPath_; }
    void setLoadedPath(std::string path) { loadedPath_ = std::move(path); }
    bool loadedFromChip() const {
        return !files_.readImage.empty() && loadedPath_ == files_.readImage;
    }
    bool loadedFromOffsetCopy() const {
        return !files_.offsetCopy.empty() && loadedPath_ == files_.offsetCopy;
    }
    // The data is a copy the program made, not a file of the user's: a
    // Save asks where it goes.
    bool loadedFromProgramCopy() const { return loadedFromChip() || loadedFromOffsetCopy(); }

private:
    enum class CopyResult { Done, ReadFailed, WriteFailed };

    CopyResult copyIntoWorkingFile(int sourceFd, std::uint64_t& checksum);
    void showLoaded(const std::string& path, bool readImage, const std::string& shownAs);
    void loadFailed(bool readImage, const std::string& detail);
    void errorBox(const std::string& message);
    const std::string& text(int key) const { return texts_.text(itext(key)); }

    DataBuffer& data_;
    Panel& panel_;
    Frontend& frontend_;
    const TextTable& texts_;
    LoadWindow& window_;
    ProgramFiles files_;
    LoadHooks hooks_;
    std::string loadedPath_;
};

}  // namespace nyra
