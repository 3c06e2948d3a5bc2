// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace nyra {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Length of the valid UTF-8 character at the start of s, or 0 when s does not
// start with one.
std::size_t utf8CharLength(std::string_view s) {
    if (s.empty())
        return 0;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;  // overlong
        if (c == 0xED)
            hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;  // overlong
        if (c == 0xF4)
            hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < len)
        return 0;
    if (b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t i = 2; i < len; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    }
    return len;
}

// Converts with iconv, replacing what cannot be converted. skipBad tells how
// many input bytes an unconvertible spot takes.
template <typename SkipBad>
std::string convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, SkipBad skipBad) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: keep ASCII, replace the rest.
        for (std::size_t i = 0; i < in.size();) {
            if (static_cast<unsigned char>(in[i]) < 0x80) {
                out += in[i++];
            } else {
                out += replacement;
                i += skipBad(in.substr(i));
            }
        }
        return out;
    }
    out.reserve(in.size() + in.size() / 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        // EILSEQ (invalid or unmappable) or EINVAL (cut off at the end).
        const std::size_t skip = skipBad(std::string_view(inPtr, inLeft));
        out += replacement;
        inPtr += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t len = utf8CharLength(bytes);
        if (len == 0)
            return false;
        bytes.remove_prefix(len);
    }
    return true;
}

std::string gbkToUtf8(std::string_view gbk) {
    return convert("UTF-8", "GBK", gbk, kReplacementUtf8,
                   [](std::string_view) { return std::size_t{1}; });
}

std::string utf8ToGbk(std::string_view utf8) {
    return convert("GBK", "UTF-8", utf8, "?", [](std::string_view rest) {
        const std::size_t len = utf8CharLength(rest);
        return len == 0 ? std::size_t{1} : len;
    });
}

std::string textFileToUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        if (bytes.starts_with(kBom))
            bytes.remove_prefix(kBom.size());
        return std::string(bytes);
    }
    return gbkToUtf8(bytes);
}

}  // namespace nyra
