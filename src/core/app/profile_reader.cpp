// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/profile_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "app/text_codec.h"

namespace nyra {

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = s.find_last_not_of(kWhiteSpace);
    return s.substr(first, last - first + 1);
}

// Drops the last character, all of its bytes when it is a UTF-8 sequence.
std::string_view withoutLastChar(std::string_view s) {
    if (s.empty())
        return s;
    std::size_t i = s.size() - 1;
    while (i > 0 && s.size() - i < 4 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        --i;
    return s.substr(0, i);
}

void splitSubscript(std::string_view part, std::string& name, std::string& subscript) {
    const std::size_t open = part.find('[');
    if (open == std::string_view::npos || part.find(']') == std::string_view::npos) {
        name = part;
        return;
    }
    name = part.substr(0, open);
    subscript = withoutLastChar(part.substr(open + 1));
}

}  // namespace

ProfileLine parseProfileLine(std::string_view raw, std::string_view section) {
    ProfileLine line;
    line.section = section;
    std::string_view text = raw.substr(0, raw.find(';'));
    text = trim(text);
    line.text = text;
    if (text.empty())
        return line;

    if (text.size() >= 3 && text.front() == '[' && text.back() == ']') {
        line.section = text.substr(1, text.size() - 2);
        line.kind = ProfileLine::kSection;
        return line;
    }

    const std::size_t eq = text.find('=');
    const std::string_view key = text.substr(0, eq);
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view{} : text.substr(eq + 1);
    splitSubscript(key, line.keyName, line.keySubscript);
    splitSubscript(value, line.valueName, line.valueSubscript);
    if (!line.keyName.empty())
        line.kind |= ProfileLine::kKeyName;
    if (!line.keySubscript.empty())
        line.kind |= ProfileLine::kKeySubscript;
    if (!line.valueName.empty())
        line.kind |= ProfileLine::kValue;
    if (!line.valueSubscript.empty())
        line.kind |= ProfileLine::kValueSubscript;
    return line;
}

ProfileReader::ProfileReader(MessageSink onMessage) : onMessage_(std::move(onMessage)) {}

bool ProfileReader::load(const std::string& path) {
    close();
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer before the
    // regular-file check could refuse it. Reads of regular files ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = loadFromDescriptor(fd);
    ::close(fd);
    return ok;
}

bool ProfileReader::loadFromDescriptor(int fd) {
    close();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_size < 0 || static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
        return false;

    std::string raw(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < raw.size()) {
        const std::size_t piece = std::min(kReadPiece, raw.size() - got);
        const ssize_t n = ::read(fd, raw.data() + got, piece);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            if (onMessage_)
                onMessage_(readErrorMessage(error));
            return false;
        }
        if (n == 0)
            break;  // the file shrank meanwhile
        got += static_cast<std::size_t>(n);
    }
    raw.resize(got);
    loadFromMemory(raw);
    return true;
}

void ProfileReader::loadFromMemory(std::string_view bytes) {
    std::string decoded = textFileToUtf8(bytes);
    close();
    data_ = std::move(decoded);
}

std::string_view ProfileReader::takeLine() {
    const std::string_view rest = std::string_view(data_).substr(pos_);
    const std::size_t cr = rest.find('\r');
    if (cr == std::string_view::npos) {
        pos_ = data_.size();
        return rest;
    }
    pos_ += cr + 1;
    if (pos_ < data_.size() && data_[pos_] == '\n')
        ++pos_;
    return rest.substr(0, cr);
}

bool ProfileReader::findSection(std::string_view name) {
    pos_ = 0;
    inSection_ = false;
    line_ = {};
    std::string current;
    while (pos_ < data_.size()) {
        ProfileLine parsed = parseProfileLine(takeLine(), current);
        if (parsed.kind != ProfileLine::kSection)
            continue;
        current = parsed.section;
        if (parsed.section == name) {
            section_ = parsed.section;
            inSection_ = true;
            line_ = std::move(parsed);
            return true;
        }
    }
    return false;
}

bool ProfileReader::nextKeyLine() {
    while (inSection_ && pos_ < data_.size()) {
        const std::size_t start = pos_;
        ProfileLine parsed = parseProfileLine(takeLine(), section_);
        if (parsed.kind == ProfileLine::kSection) {
            pos_ = start;
            break;
        }
        if (parsed.text.empty())
            continue;
        line_ = std::move(parsed);
        return true;
    }
    inSection_ = false;
    line_ = {};
    return false;
}

bool ProfileReader::numericKey(int& number) const {
    const std::string& key = line_.keyName;
    if (key.empty() || key.size() > 9)
        return false;
    int n = 0;
    for (const char c : key) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    number = n;
    return true;
}

void ProfileReader::close() {
    std::string().swap(data_);
    pos_ = 0;
    inSection_ = false;
    section_.clear();
    line_ = {};
}

std::string ProfileReader::readErrorMessage(int errorNumber) {
    char text[128];
    std::snprintf(text, sizeof text, "文件复制到内存失败！ \r\n错误代码：#%d", errorNumber);
    return text;
}

}  // namespace nyra
