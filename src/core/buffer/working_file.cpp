// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/working_file.h"

#include <fcntl.h>

namespace nyra {

bool WorkingFile::openReadWrite(const std::string& path, bool create) {
    std::lock_guard lock(mutex_);
    const bool opened = file_.open(path, O_RDWR | (create ? O_CREAT : 0));
    path_ = opened ? path : std::string();
    return opened;
}

bool WorkingFile::openReadOnly(const std::string& path) {
    std::lock_guard lock(mutex_);
    const bool opened = file_.open(path, O_RDONLY);
    path_ = opened ? path : std::string();
    return opened;
}

void WorkingFile::close() {
    std::lock_guard lock(mutex_);
    file_.close();
    path_.clear();
}

bool WorkingFile::isOpen() const {
    std::lock_guard lock(mutex_);
    return file_.isOpen();
}

std::size_t WorkingFile::readAt(std::uint64_t offset, std::uint8_t* buffer,
                                std::size_t count) const {
    std::lock_guard lock(mutex_);
    return file_.readAt(offset, buffer, count);
}

bool WorkingFile::writeAt(std::uint64_t offset, const std::uint8_t* buffer, std::size_t count) {
    std::lock_guard lock(mutex_);
    return file_.writeAt(offset, buffer, count);
}

std::uint64_t WorkingFile::length() const {
    std::lock_guard lock(mutex_);
    return file_.length();
}

bool WorkingFile::flush() const {
    std::lock_guard lock(mutex_);
    return file_.flush();
}

}  // namespace nyra
