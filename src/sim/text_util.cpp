// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/text_util.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace nyra::sim::text {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char lowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool parseBase(std::string_view s, int base, std::uint64_t& out) {
    if (s.empty())
        return false;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size())
        return false;
    out = value;
    return true;
}

}  // namespace

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitWords(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isSpace(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !isSpace(s[i]))
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = s.find(separator, start);
        if (pos == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerChar(a[i]) != lowerChar(b[i]))
            return false;
    }
    return true;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lowerChar(c);
    return out;
}

bool parseUnsigned(std::string_view s, std::uint64_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        return parseBase(s.substr(2), 16, out);
    }
    return parseBase(s, 10, out);
}

bool parseHex(std::string_view s, std::uint64_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    return parseBase(s, 16, out);
}

bool parseSize(std::string_view s, std::uint64_t& out) {
    if (s.empty())
        return false;
    std::uint64_t unit = 1;
    const char last = lowerChar(s.back());
    if (last == 'k' || last == 'm' || last == 'g') {
        unit = last == 'k' ? (1ull << 10) : last == 'm' ? (1ull << 20) : (1ull << 30);
        s.remove_suffix(1);
    }
    std::uint64_t value = 0;
    if (!parseUnsigned(s, value))
        return false;
    if (value > std::numeric_limits<std::uint64_t>::max() / unit)
        return false;
    out = value * unit;
    return true;
}

bool parseDouble(std::string_view s, double& out) {
    if (s.empty())
        return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

bool parseBool(std::string_view s, bool& out) {
    if (s == "1" || iequals(s, "yes") || iequals(s, "on") || iequals(s, "true")) {
        out = true;
        return true;
    }
    if (s == "0" || iequals(s, "no") || iequals(s, "off") || iequals(s, "false")) {
        out = false;
        return true;
    }
    return false;
}

std::string hexByte(unsigned value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {kHex[(value >> 4) & 0xF], kHex[value & 0xF]};
}

std::string printable(std::string_view s, std::size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace nyra::sim::text
