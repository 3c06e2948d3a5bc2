// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/http_response.h"

#include <algorithm>
#include <cctype>

namespace nyra {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Decimal (base 10) or hexadecimal (base 16) without sign, refusing
// overflow and stray characters.
bool parseNumber(std::string_view text, int base, std::uint64_t& value) {
    if (text.empty() || text.size() > 16)
        return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return true;
}

}  // namespace

HttpResponseParser::State HttpResponseParser::feed(std::string_view bytes) {
    switch (state_) {
        case State::Head:
            pending_.append(bytes);
            return state_ = parseHead();
        case State::Body:
            takeBody(bytes);
            return state_;
        case State::Done:
        case State::Bad:
            break;
    }
    return state_;
}

HttpResponseParser::State HttpResponseParser::finish() {
    if (state_ == State::Body)
        state_ = framing_ == Framing::UntilClose ? State::Done : State::Bad;
    else if (state_ == State::Head)
        state_ = State::Bad;
    return state_;
}

HttpResponseParser::State HttpResponseParser::parseHead() {
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end == std::string::npos)
        return pending_.size() > kMaxHeadBytes ? State::Bad : State::Head;
    if (end > kMaxHeadBytes)
        return State::Bad;
    const std::string head = pending_.substr(0, end + 2);
    std::string rest = pending_.substr(end + 4);
    pending_.clear();

    std::size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        const std::size_t lineEnd = head.find("\r\n", start);
        const std::string_view line(head.data() + start, lineEnd - start);
        if (first ? !parseStatusLine(line) : !parseHeader(line))
            return State::Bad;
        first = false;
        start = lineEnd + 2;
    }
    // No body: informational, 204 and 304 responses.
    if ((status_ >= 100 && status_ < 200) || status_ == 204 || status_ == 304 ||
        (framing_ == Framing::Length && remaining_ == 0) || maxBody_ == 0)
        return State::Done;
    state_ = State::Body;
    takeBody(rest);
    return state_;
}

bool HttpResponseParser::parseStatusLine(std::string_view line) {
    // "HTTP/1.x NNN reason"
    if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || line[8] != ' ' ||
        (line.size() > 12 && line[12] != ' '))
        return false;
    std::uint64_t code = 0;
    if (!parseNumber(line.substr(9, 3), 10, code))
        return false;
    status_ = static_cast<unsigned>(code);
    return true;
}

bool HttpResponseParser::parseHeader(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trim(line.substr(colon + 1));
    if (sameLetters(name, "Transfer-Encoding")) {
        // Chunked must be the last coding; anything else we cannot read.
        if (value.size() < 7 || !sameLetters(value.substr(value.size() - 7), "chunked"))
            return false;
        framing_ = Framing::Chunked;
        lengthSeen_ = false;
    } else if (sameLetters(name, "Content-Length") && framing_ != Framing::Chunked) {
        std::uint64_t length = 0;
        if (!parseNumber(value, 10, length) || (lengthSeen_ && length != remaining_))
            return false;
        framing_ = Framing::Length;
        remaining_ = length;
        lengthSeen_ = true;
    }
    return true;
}

void HttpResponseParser::keep(std::string_view bytes) {
    const std::size_t room = maxBody_ - body_.size();
    body_.append(bytes.substr(0, std::min(room, bytes.size())));
    if (body_.size() >= maxBody_)
        state_ = State::Done;
}

void HttpResponseParser::takeBody(std::string_view bytes) {
    switch (framing_) {
        case Framing::UntilClose:
            keep(bytes);
            return;
        case Framing::Length: {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
            remaining_ -= take;
            keep(bytes.substr(0, take));
            if (remaining_ == 0)
                state_ = State::Done;
            return;
        }
        case Framing::Chunked:
            pending_.append(bytes);
            takeChunked();
            return;
    }
}

void HttpResponseParser::takeChunked() {
    std::size_t at = 0;
    while (state_ == State::Body) {
        if (chunkStep_ == ChunkStep::Data) {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, pending_.size() - at));
            if (take == 0)
                break;
            keep(std::string_view(pending_).substr(at, take));
            at += take;
            remaining_ -= take;
            if (remaining_ == 0)
                chunkStep_ = ChunkStep::DataEnd;
            continue;
        }
        const std::size_t lineEnd = pending_.find("\r\n", at);
        if (lineEnd == std::string::npos) {
            if (pending_.size() - at > kMaxHeadBytes)
                state_ = State::Bad;
            break;
        }
        const std::string_view line(pending_.data() + at, lineEnd - at);
        at = lineEnd + 2;
        switch (chunkStep_) {
            case ChunkStep::Size: {
                // Extensions after ";" are allowed and ignored.
                const std::string_view size = trim(line.substr(0, line.find(';')));
                if (!parseNumber(size, 16, remaining_)) {
                    state_ = State::Bad;
                    break;
                }
                chunkStep_ = remaining_ == 0 ? ChunkStep::Trailer : ChunkStep::Data;
                break;
            }
            case ChunkStep::DataEnd:
                if (!line.empty())
                    state_ = State::Bad;
                chunkStep_ = ChunkStep::Size;
                break;
            case ChunkStep::Trailer:
                if (line.empty())
                    state_ = State::Done;
                break;
            case ChunkStep::Data:
                break;
        }
    }
    pending_.erase(0, at);
}

}  // namespace nyra
