// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/programmer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace nyra {

namespace {

// Names come from the bus: keep only what is safe in a file name.
std::string fileNameOf(const std::string& name) {
    std::string safe;
    for (const char c : name)
        safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_';
    return "kvq-nyra-programmer-" + safe + ".lock";
}

}  // namespace

std::string ProgrammerLock::folder() {
    if (const char* named = std::getenv("NYRA_LOCK_DIR"); named && *named)
        return named;
    if (::access("/run/lock", W_OK) == 0)
        return "/run/lock";
    return "/tmp";
}

ProgrammerLock::~ProgrammerLock() {
    release();
}

ProgrammerLock::ProgrammerLock(ProgrammerLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

ProgrammerLock& ProgrammerLock::operator=(ProgrammerLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void ProgrammerLock::release() {
    if (fd_ >= 0)
        ::close(fd_);  // the lock goes with the descriptor
    fd_ = -1;
}

bool ProgrammerLock::acquire(const std::string& name, std::string& error) {
    release();
    const std::string path = folder() + "/" + fileNameOf(name);
    // Shared by every user of the host: readable and writable by all, never
    // followed through a link someone else put there.
    const mode_t before = ::umask(0);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    ::umask(before);
    if (fd < 0) {
        error = "cannot make the lock file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        char holder[32] = {};
        const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (why != EWOULDBLOCK) {
            error = "cannot lock " + path + ": " + std::strerror(why);
            return false;
        }
        std::string pid(holder, n > 0 ? static_cast<std::size_t>(n) : 0);
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
            pid.pop_back();
        error = pid.empty() ? "another process" : "process " + pid;
        return false;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    // The lock holds even when the note of who holds it cannot be written.
    [[maybe_unused]] const bool noted =
        ::ftruncate(fd, 0) == 0 &&
        ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
    fd_ = fd;
    return true;
}

}  // namespace nyra
