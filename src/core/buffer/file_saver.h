// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/clock.h"
#include "buffer/file_loader.h"

namespace nyra {

class ChangeLogFile;

inline constexpr const char* kSaveChipFilter =
    "bin文件(*.bin)|*.bin|rom文件(*.rom)|*.rom|其他文件(*.*)|*.*||";
inline constexpr const char* kSaveAsFilter =
    "bin(*.bin)|*.bin|rom(*.rom)|*.rom|all files(*.*)|*.*||";

// Writes the data buffer back: Save puts only the changed bytes into the
// loaded file and logs each of them in log.txt; Save As copies the data.
class FileSaver {
public:
    FileSaver(FileLoader& loader, DataBuffer& data, Panel& panel, Frontend& frontend,
              const TextTable& texts, LoadWindow& window, const Clock& clock)
        : loader_(loader),
          data_(data),
          panel_(panel),
          frontend_(frontend),
          texts_(texts),
          window_(window),
          clock_(clock) {}

    // True when everything reached the file.
    bool saveFile();
    bool saveFileAs();

private:
    void commitTypedEdit();
    // 0, or the errno of what failed; the target is written whole or left as it was.
    int writeWholeData(const std::string& target);
    bool saveCopy(const std::string& target);
    bool patchLoadedFile();
    bool finishSave(ChangeLogFile& log, const std::string& target, int error, bool newFile);
    std::optional<std::string> askTarget(const char* filter);
    void saveFailed(const std::string& path, int error);
    const std::string& text(int key) const { return texts_.text(itext(key)); }

    FileLoader& loader_;
    DataBuffer& data_;
    Panel& panel_;
    Frontend& frontend_;
    const TextTable& texts_;
    LoadWindow& window_;
    const Clock& clock_;
};

}  // namespace nyra
