// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace nyra {

namespace {

// A descriptor opened without blocking, kept only when it is a regular file.
int keepRegular(int fd, struct stat& info) {
    if (fd < 0)
        return -1;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = kErrorNotRegularFile;
    // Reads and writes of a regular file block as usual from here on.
    else if (const int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path stands for: a symbolic link's target, so that writing
// "through" the link replaces the file and keeps the link.
std::string resolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) != nullptr)
        return buffer;
    // A dangling link: its target, as the link names it.
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return path;
    const std::string target(buffer, static_cast<std::size_t>(n));
    return target.starts_with('/') ? target : folderOf(path) + "/" + target;
}

std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
           std::to_string(ticks % 1000003);
}

}  // namespace

std::string fileErrorText(int error) {
    if (error == kErrorNotRegularFile)
        return "Not a regular file (a FIFO, a device or a socket)";
    return std::strerror(error);
}

bool writeAll(int fd, const std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAllAt(int fd, const std::uint8_t* buffer, std::size_t count, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::uint64_t> regularFileBytes(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool isSameFile(const std::string& path, const struct stat& info) {
    struct stat other {};
    return ::stat(path.c_str(), &other) == 0 && other.st_dev == info.st_dev &&
           other.st_ino == info.st_ino;
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &first) == 0 && isSameFile(b, first);
}

int openRegularFile(const std::string& path, struct stat& info) {
    return keepRegular(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), info);
}

int openRegularForAppend(const std::string& path, bool create) {
    struct stat info {};
    const int flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    return keepRegular(::open(path.c_str(), create ? flags | O_CREAT : flags, 0644), info);
}

WholeFileWriter::WholeFileWriter(std::string path) : path_(std::move(path)) {}

WholeFileWriter::~WholeFileWriter() {
    discard();
}

bool WholeFileWriter::fail(int error) {
    error_ = error;
    discard();
    return false;
}

void WholeFileWriter::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

bool WholeFileWriter::open() {
    discard();
    error_ = 0;
    target_ = resolvedTarget(path_);
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return fail(EISDIR);
    // Renaming over a device or a FIFO would replace it, not write into it.
    if (exists && !S_ISREG(existing.st_mode))
        return fail(kErrorNotRegularFile);
    const std::string folder = folderOf(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/." + nameOf(target_) + "." + uniqueSuffix() + ".part";
        // 0666 before the umask, as any new file of the user's.
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = std::move(name);
            break;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    if (fd_ < 0)
        return fail(EEXIST);
    if (exists) {
        // Best effort: only the owner or root may hand the file over.
        [[maybe_unused]] const int owned = ::fchown(fd_, existing.st_uid, existing.st_gid);
        if (::fchmod(fd_, existing.st_mode & 07777) != 0)
            return fail(errno);
    }
    return true;
}

bool WholeFileWriter::write(const std::uint8_t* bytes, std::size_t count) {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    errno = 0;
    if (!writeAll(fd_, bytes, count))
        return fail(errno != 0 ? errno : ENOSPC);
    return true;
}

bool WholeFileWriter::commit() {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    // A full disk often shows only here: the data must be on it before the name moves.
    if (::fsync(fd_) != 0)
        return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return fail(errno);
    temp_.clear();
    // The rename itself is on the disk once the folder is.
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

int writeWholeFile(const std::string& path, const std::uint8_t* bytes, std::size_t count) {
    WholeFileWriter writer(path);
    if (!writer.open() || !writer.write(bytes, count) || !writer.commit())
        return writer.error();
    return 0;
}

}  // namespace nyra
