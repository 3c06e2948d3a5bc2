// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/socket.h"

#include <sys/stat.h>

namespace nyra::sim {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Socket::~Socket() {
    flush(nullptr);
}

void Socket::insert(const ChipModel& model, const std::string& imagePath, std::string* note) {
    remove();
    chip_ = std::make_unique<Chip>(model);
    ++insertions_;
    image_ = imagePath;
    imageOnDisk_ = false;
    if (note)
        note->clear();
    if (image_.empty())
        return;
    if (fileExists(image_)) {
        imageOnDisk_ = loadChipImage(*chip_, image_, note);
    }
}

void Socket::remove() {
    flush(nullptr);
    chip_.reset();
    image_.clear();
    imageOnDisk_ = false;
}

bool Socket::flush(std::string* error) {
    if (!chip_ || image_.empty())
        return true;
    if (!chip_->dirty() && imageOnDisk_)
        return true;
    if (!saveChipImage(*chip_, image_, error))
        return false;
    chip_->markClean();
    imageOnDisk_ = true;
    return true;
}

}  // namespace nyra::sim
