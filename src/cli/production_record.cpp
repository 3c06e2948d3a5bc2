// SPDX-License-Identifier: GPL-3.0-or-later
#include "production_record.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "app/file_access.h"

namespace nyra::cli {

namespace {

constexpr std::size_t kLongestLine = 64 * 1024;

std::string pendingPath(const std::string& path, const std::string& tag) {
    return tag.empty() ? path + ".pending" : path + "." + tag + ".pending";
}

// The first bytes of a file, at most limit.
std::string firstBytes(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

bool ProductionRecord::fail(int error) {
    error_ = error != 0 ? error : EIO;
    return false;
}

bool ProductionRecord::open(const std::string& path, const std::string& tag) {
    path_ = path;
    tag_ = tag;
    fd_.emplace(openRegularForAppend(path, true));
    if (fd_->get() < 0)
        return fail(errno);
    struct stat info {};
    if (::fstat(fd_->get(), &info) != 0)
        return fail(errno);
    if (info.st_size == 0) {
        if (!write(kRecordHeader))
            return false;
    } else {
        const std::string head = firstBytes(path, kLongestLine);
        sixColumns_ = head.rfind("time,chip,id,data_checksum,steps,result\n", 0) == 0 ||
                      head.rfind("time,chip,id,data_checksum,steps,result\r\n", 0) == 0;
    }
    const std::string pending = pendingPath(path, tag);
    struct stat held {};
    if (::stat(pending.c_str(), &held) == 0) {
        const std::string line = firstBytes(pending, kLongestLine);
        // A line cut by the crash is no line: only a whole one is recorded.
        if (!line.empty() && line.back() == '\n') {
            if (!write(line))
                return false;
            recovered_ = line.substr(0, line.size() - 1);
        }
        if (::unlink(pending.c_str()) != 0)
            return fail(errno);
    }
    return true;
}

std::string ProductionRecord::text(const RecordLine& line) const {
    std::string out = csvField(line.time) + ',' + csvField(line.chip) + ',' +
                      std::to_string(line.number) + ',' + csvField(line.checksum) + ',' +
                      csvField(line.steps) + ',' + line.result;
    if (!sixColumns_)
        out += ',' + csvField(line.file) + ',' + csvField(line.station);
    return out + '\n';
}

bool ProductionRecord::write(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!fd_ || !writeAll(fd_->get(), bytes, text.size()) || ::fdatasync(fd_->get()) != 0)
        return fail(errno);
    return true;
}

bool ProductionRecord::hold(const RecordLine& line) {
    const std::string held = text(line);
    const int error = writeWholeFile(
        pendingPath(path_, tag_), reinterpret_cast<const std::uint8_t*>(held.data()), held.size());
    return error == 0 || fail(error);
}

bool ProductionRecord::append(const RecordLine& line) {
    if (!write(text(line)))
        return false;
    if (::unlink(pendingPath(path_, tag_).c_str()) != 0 && errno != ENOENT)
        return fail(errno);
    return true;
}

}  // namespace nyra::cli
