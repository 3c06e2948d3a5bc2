#include "app/switches.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace nyra {

namespace {

constexpr int kSwitchIds[Switches::kFileBytes] = {kCmdSounds, kCmdAutoIdentify, kCmdBatchErase,
                                                  kCmdBatchProgram, kCmdBatchVerify};

// The settings file, open for reading and writing, created when missing.
class SettingsFile {
public:
    explicit SettingsFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
    ~SettingsFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    // Length of the file, or -1.
    long long size() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

    // Reads up to n bytes from offset 0; bytes not read keep their value.
    // False on a read error (a short file is no error).
    bool readStart(unsigned char* buffer, std::size_t n) const {
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd_, buffer + got, n - got, static_cast<off_t>(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return false;
            if (r == 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }

    bool write(const unsigned char* bytes, std::size_t n, off_t offset) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r =
                ::pwrite(fd_, bytes + done, n - done, offset + static_cast<off_t>(done));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            done += static_cast<std::size_t>(r);
        }
        return true;
    }

    // Closes the file; false when the system reports a late write error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

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
        if (!file.isOpen()) {
            toggleSounds();
            return;
        }
        file.readStart(bytes, kFileBytes);
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
    const int v = newValue(kCmdSounds);
    if (v < 0)
        return false;
    SettingsFile file(path_);
    const unsigned char byte = static_cast<unsigned char>(v);
    if (!file.isOpen() || !file.write(&byte, 1, 0) || !file.close())
        return false;
    menu_.setChecked(kCmdSounds, v != 0);
    return true;
}

bool Switches::toggleAutoIdentify() {
    const int v = newValue(kCmdAutoIdentify);
    if (v < 0)
        return false;
    SettingsFile file(path_);
    if (!file.isOpen())
        return false;
    const long long size = file.size();
    if (size < 0)
        return false;
    if (size == 0) {
        // The sounds byte first, so that this switch gets its own byte.
        const unsigned char soundsOn = 1;
        if (!file.write(&soundsOn, 1, 0))
            return false;
    }
    // Byte 1: appended to a 1-byte file, written over in a longer one.
    const unsigned char byte = static_cast<unsigned char>(v);
    if (!file.write(&byte, 1, 1) || !file.close())
        return false;
    menu_.setChecked(kCmdAutoIdentify, v != 0);
    return true;
}

bool Switches::toggleBatchStep(int commandId) {
    int index = 0;
    switch (commandId) {
        case kCmdBatchErase:
            index = 2;
            break;
        case kCmdBatchProgram:
            index = 3;
            break;
        case kCmdBatchVerify:
            index = 4;
            break;
        default:
            return false;
    }
    const int v = newValue(commandId);
    if (v < 0)
        return false;
    SettingsFile file(path_);
    if (!file.isOpen())
        return false;
    unsigned char bytes[kFileBytes] = {1, 1, 1, 1, 1};
    // Writing after a failed read would turn the other switches on.
    if (!file.readStart(bytes, kFileBytes))
        return false;
    bytes[index] = static_cast<unsigned char>(v);
    if (!file.write(bytes, kFileBytes, 0) || !file.close())
        return false;
    menu_.setChecked(commandId, v != 0);
    return true;
}

}  // namespace nyra
