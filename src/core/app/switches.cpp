// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/switches.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

#include "app/file_access.h"

namespace nyra {

namespace {

constexpr int kSwitchIds[Switches::kFileBytes] = {kCmdSounds, kCmdAutoIdentify, kCmdBatchErase,
                                                  kCmdBatchProgram, kCmdBatchVerify};

// The settings file under an exclusive lock while one switch changes, so that
// two programs changing switches at once both keep their change. A change is
// written whole (a temporary file renamed over it), so a kill in the middle
// never leaves a half-written file.
class SettingsFile {
public:
    explicit SettingsFile(const std::string& path) : path_(path) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
            struct stat opened {};
            struct stat named {};
            if (fd_ >= 0 && ::fstat(fd_, &opened) == 0 && !S_ISREG(opened.st_mode))
                notRegular_ = true;
            if (fd_ < 0 || notRegular_ || ::flock(fd_, LOCK_EX) != 0) {
                closeFile();
                return;
            }
            // Another program may have replaced the file while this one waited.
            if (::stat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino &&
                named.st_dev == opened.st_dev)
                return;
            closeFile();
        }
    }
    ~SettingsFile() { closeFile(); }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // A FIFO or a device in the file's place: opened, but never read or written.
    bool notRegular() const { return notRegular_; }

    // The whole file (a few bytes); false on a read error.
    bool readAll(std::vector<unsigned char>& bytes) const {
        bytes.clear();
        unsigned char chunk[256];
        for (off_t at = 0;;) {
            const ssize_t r = ::pread(fd_, chunk, sizeof chunk, at);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return false;
            if (r == 0)
                return true;
            bytes.insert(bytes.end(), chunk, chunk + r);
            at += r;
        }
    }

    // The file's new contents, all of them or none.
    bool replace(const std::vector<unsigned char>& bytes) {
        return writeWholeFile(path_, bytes.data(), bytes.size()) == 0;
    }

private:
    void closeFile() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    std::string path_;
    int fd_ = -1;
    bool notRegular_ = false;
};

// Sets byte index of the file to value, as a write at that offset would: a
// shorter file first gets the bytes before it from fill.
void setByte(std::vector<unsigned char>& bytes, std::size_t index, unsigned char value,
             const unsigned char* fill) {
    while (bytes.size() < index)
        bytes.push_back(fill[bytes.size()]);
    if (bytes.size() == index)
        bytes.push_back(value);
    else
        bytes[index] = value;
}

}  // namespace

unsigned MenuCheckMarks::menuState(int commandId) const {
    std::lock_guard lock(mutex_);
    const auto it = states_.find(commandId);
    return it == states_.end() ? 0u : it->second;
}

void MenuCheckMarks::setChecked(int commandId, bool checked) {
    std::lock_guard lock(mutex_);
    unsigned& state = states_[commandId];
    state = checked ? (state | kMenuChecked) : (state & ~kMenuChecked);
}

void MenuCheckMarks::setState(int commandId, unsigned state) {
    std::lock_guard lock(mutex_);
    states_[commandId] = state;
}

bool MenuCheckMarks::isChecked(int commandId) const {
    return (menuState(commandId) & kMenuChecked) != 0;
}

Switches::Switches(const std::string& programFolder, MenuCheckState& menu)
    : path_((programFolder.empty() || programFolder.back() == '/' ? programFolder
                                                                  : programFolder + "/") +
            kFileName),
      menu_(menu) {}

void Switches::readAtStartup() {
    unsigned char bytes[kFileBytes] = {1, 1, 1, 1, 1};
    {
        SettingsFile file(path_);
        if (!file.isOpen() && !file.notRegular()) {
            toggleSounds();
            return;
        }
        // Nothing read from a FIFO or a device: the presets stand.
        std::vector<unsigned char> stored;
        if (file.isOpen() && file.readAll(stored)) {
            for (std::size_t i = 0; i < stored.size() && i < kFileBytes; ++i)
                bytes[i] = stored[i];
        }
    }
    for (int i = 0; i < kFileBytes; ++i)
        menu_.setChecked(kSwitchIds[i], bytes[i] != 0);
}

int Switches::newValue(int commandId) const {
    const unsigned state = menu_.menuState(commandId);
    if (state == kMenuChecked)
        return 0;
    if (state == 0)
        return 1;
    return -1;
}

bool Switches::toggleSounds() {
    return store(kCmdSounds, 0);
}

bool Switches::toggleAutoIdentify() {
    return store(kCmdAutoIdentify, 1);
}

bool Switches::toggleBatchStep(int commandId) {
    switch (commandId) {
        case kCmdBatchErase:
            return store(commandId, 2);
        case kCmdBatchProgram:
            return store(commandId, 3);
        case kCmdBatchVerify:
            return store(commandId, 4);
        default:
            return false;
    }
}

bool Switches::store(int commandId, std::size_t index) {
    const int v = newValue(commandId);
    if (v < 0)
        return false;
    SettingsFile file(path_);
    std::vector<unsigned char> bytes;
    // Writing after a failed read would turn the other switches on.
    if (!file.isOpen() || !file.readAll(bytes))
        return false;
    // A missing byte before this one is on, as a missing byte reads.
    static constexpr unsigned char kOn[kFileBytes] = {1, 1, 1, 1, 1};
    setByte(bytes, index, static_cast<unsigned char>(v), kOn);
    // The batch steps were always stored as all five bytes.
    if (index >= 2) {
        for (std::size_t i = 0; i < kFileBytes; ++i) {
            if (i >= bytes.size())
                bytes.push_back(kOn[i]);
        }
    }
    if (!file.replace(bytes))
        return false;
    menu_.setChecked(commandId, v != 0);
    return true;
}

}  // namespace nyra
