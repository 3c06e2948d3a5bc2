// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operation_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/file_access.h"

namespace nyra {

std::string sizeText(std::uint64_t bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%0.2fKB", static_cast<double>(bytes) / 1024.0);
    return text;
}

void OperationLog::setFilePath(std::string path) {
    std::lock_guard lock(mutex_);
    filePath_ = std::move(path);
}

std::string OperationLog::timePrefix(const LocalTime& time) {
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%d:%2d:%2d**", time.hour, time.minute, time.second);
    std::string text(prefix);
    std::replace(text.begin(), text.end(), ' ', '0');
    std::replace(text.begin(), text.end(), '*', ' ');
    return text;
}

std::string OperationLog::fileStamp(const LocalTime& time) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "\r\n%04d\\%02d\\%02d %02d:%02d:%02d\t", time.year,
                  time.month, time.day, time.hour, time.minute, time.second);
    return stamp;
}

void OperationLog::line(const std::string& text) {
    fileLine(text);
    std::lock_guard lock(mutex_);
    std::string shown = timePrefix(clock_.localTime()) + text;
    // The same text again updates its time on the last line.
    if (text == lastText_)
        view_.replaceLast(std::move(shown));
    else
        view_.append(std::move(shown));
    lastText_ = text;
}

void OperationLog::fileLine(const std::string& text) {
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = filePath_;
    }
    if (path.empty())
        return;
    // Not created here: a log file removed while the program runs stays removed.
    // A FIFO or a device in its place is not written to.
    const int fd = openRegularForAppend(path, false);
    if (fd < 0)
        return;
    const std::string record = fileStamp(clock_.localTime()) + text;
    // Other programs of the folder (the window, kvq-cli runs) append to it as well.
    const bool locked = ::flock(fd, LOCK_EX) == 0;
    const ssize_t written = ::write(fd, record.data(), record.size());
    (void)written;  // a log line that cannot be written is not worth stopping a job for
    if (locked)
        ::flock(fd, LOCK_UN);
    ::close(fd);
}

void OperationLog::clear() {
    {
        std::lock_guard lock(mutex_);
        view_.clear();
    }
    fileLine("\r\n");
}

void OperationLog::dataFile(const std::string& path, std::uint64_t bytes) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    line(name + " " + sizeText(bytes));
}

}  // namespace nyra
