// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/text_table.h"
#include "buffer/file_loader.h"
#include "ui/frontend.h"

namespace nyra {

inline constexpr const char* kAddressOffsetFilter =
    "*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.cap(*.cap)|*.cap|all files(*.*)|*.*||";
inline constexpr std::size_t kAddressOffsetChunk = 65536;

// The address-offset window without its widgets: loads a file from a byte
// offset, so that byte becomes address 0 of the data buffer. The tail of the
// file goes through temp/tempFile.bin, which the main window removes at close.
class AddressOffsetTool {
public:
    AddressOffsetTool(FileLoader& loader, Frontend& frontend, const TextTable& texts,
                      std::string tempFolder, std::string path, std::uint32_t offset);

    // Captions, from the text table.
    const std::string& title() const { return ftextOf(69); }
    const std::string& offsetLabel() const { return ftextOf(70); }
    const std::string& note() const { return ftextOf(71); }
    const std::string& fileLabel() const { return ftextOf(72); }
    const std::string& okCaption() const { return ftextOf(77); }
    const std::string& cancelCaption() const { return ftextOf(76); }

    const std::string& path() const { return path_; }
    const std::string& offsetText() const { return offsetText_; }
    // Where the caret belongs after the last offset edit.
    std::size_t offsetCaret() const { return offsetCaret_; }
    bool offsetReadOnly() const { return offsetReadOnly_; }
    const std::string& status() const { return status_; }
    // True once the data was loaded; the window then closes with OK.
    bool accepted() const { return accepted_; }
    std::string tempFilePath() const { return tempFolder_ + "/" + kOffsetCopyName; }

    // The offset as the field reads (decimal, empty is 0).
    std::uint32_t offset() const;

    void setPath(std::string path) { path_ = std::move(path); }
    // The offset field changed to text with the caret at caret. Anything but
    // a decimal digit, or a digit past 32 bits, is taken out again and the
    // warning shown; false then.
    bool offsetEdited(const std::string& text, std::size_t caret);
    // The "..." button.
    void browse();
    // The OK button; true when the data was loaded.
    bool load();

private:
    const std::string& ftextOf(int key) const { return texts_.text(ftext(key)); }
    const std::string& itextOf(int key) const { return texts_.text(itext(key)); }
    void errorBox(const std::string& message);

    FileLoader& loader_;
    Frontend& frontend_;
    const TextTable& texts_;
    std::string tempFolder_;
    std::string path_;
    std::string offsetText_;
    std::size_t offsetCaret_ = 0;
    bool offsetReadOnly_ = false;
    std::string status_;  // empty until a conversion has something to say
    bool accepted_ = false;
};

}  // namespace nyra
