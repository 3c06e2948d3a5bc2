// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/address_offset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/file_access.h"
#include "buffer/file_descriptor.h"
#include "buffer/file_name_text.h"

namespace nyra {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits only; false past 32 bits.
bool parseOffset(const std::string& text, std::uint32_t& value) {
    std::uint64_t v = 0;
    for (const char c : text) {
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

AddressOffsetTool::AddressOffsetTool(FileLoader& loader, Frontend& frontend, const TextTable& texts,
                                     std::string tempFolder, std::string path, std::uint32_t offset)
    : loader_(loader),
      frontend_(frontend),
      texts_(texts),
      tempFolder_(std::move(tempFolder)),
      path_(std::move(path)),
      offsetText_(std::to_string(offset)),
      offsetCaret_(offsetText_.size()),
      offsetReadOnly_(isCapFile(path_)) {}

std::uint32_t AddressOffsetTool::offset() const {
    std::uint32_t value = 0;
    parseOffset(offsetText_, value);
    return value;
}

bool AddressOffsetTool::offsetEdited(const std::string& text, std::size_t caret) {
    if (offsetReadOnly_)
        return false;
    if (caret > text.size())
        caret = text.size();
    // A paste can bring several bad characters at once, so all of them go.
    std::string digits;
    std::size_t newCaret = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            digits += text[i];
            if (i < caret)
                ++newCaret;
        }
    }
    std::uint32_t value = 0;
    bool ok = digits.size() == text.size();
    if (ok && !parseOffset(digits, value)) {
        // Too large for 32 bits: the character just typed goes.
        ok = false;
        if (caret > 0) {
            digits.erase(caret - 1, 1);
            newCaret = caret - 1;
        }
        if (!parseOffset(digits, value)) {
            digits = offsetText_;
            newCaret = offsetCaret_;
        }
    }
    offsetText_ = digits;
    offsetCaret_ = newCaret;
    if (!ok)
        frontend_.messageBox(itextOf(8), itextOf(9), BoxIcon::Warning, BoxButtons::Ok);
    return ok;
}

void AddressOffsetTool::browse() {
    FileDialogRequest request;
    request.filter = kAddressOffsetFilter;
    request.defaultExtension = ".bin";
    auto chosen = frontend_.openFile(request);
    if (!chosen)
        return;
    path_ = std::move(*chosen);
    if (isCapFile(path_)) {
        offsetText_ = std::to_string(kCapFileOffset);
        offsetReadOnly_ = true;
    } else {
        // The value stays; the field shows it as a plain number again.
        offsetText_ = std::to_string(offset());
        offsetReadOnly_ = false;
    }
    offsetCaret_ = offsetText_.size();
}

void AddressOffsetTool::errorBox(const std::string& message) {
    frontend_.messageBox(message, itextOf(29), BoxIcon::Error, BoxButtons::Ok);
}

bool AddressOffsetTool::load() {
    const std::uint32_t start = offset();
    const std::string tempPath = tempFilePath();

    // Everything is checked before the copy, and the copy is written whole:
    // a failed second load leaves the data of the first as it was.
    struct stat info {};
    Descriptor source(openRegularFile(path_, info));
    if (source.get() < 0) {
        errorBox(itextOf(25) + "\n" + path_ + "\n" + fileErrorText(errno));
        return false;
    }
    const auto length = static_cast<std::uint64_t>(info.st_size);
    if (start >= length) {
        errorBox(itextOf(182));
        return false;
    }

    status_ = itextOf(181);
    if (::lseek(source.get(), static_cast<off_t>(start), SEEK_SET) < 0) {
        errorBox(itextOf(25) + "\n" + path_ + "\n" + fileErrorText(errno));
        return false;
    }
    struct stat folder {};
    if (::stat(tempFolder_.c_str(), &folder) != 0)
        ::mkdir(tempFolder_.c_str(), 0755);  // a failure shows when the file cannot be made
    WholeFileWriter temp(tempPath);
    if (!temp.open()) {
        errorBox(itextOf(183) + "\n" + tempPath + "\n" + fileErrorText(temp.error()));
        return false;
    }
    std::vector<std::uint8_t> chunk(kAddressOffsetChunk);
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t got = readChunk(source.get(), chunk.data(), chunk.size());
        if (got < 0) {
            errorBox(itextOf(25) + "\n" + path_ + "\n" + fileErrorText(errno));
            return false;
        }
        if (!temp.write(chunk.data(), static_cast<std::size_t>(got))) {
            errorBox(itextOf(183) + "\n" + tempPath + "\n" + fileErrorText(temp.error()));
            return false;
        }
        copied += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < chunk.size())
            break;
    }
    if (copied == 0 || !loader_.mayReplaceData())
        return false;
    if (!temp.commit()) {
        errorBox(itextOf(183) + "\n" + tempPath + "\n" + fileErrorText(temp.error()));
        return false;
    }
    accepted_ = loader_.loadFile(tempPath, false);
    return accepted_;
}

}  // namespace nyra
