// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a server's answer: an HTTP response cut into
// pieces at sizes taken from the input, SMTP replies, and URLs; the parsers
// must stay within their limits and agree however the bytes are cut.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_fetch.h"
#include "net/http_response.h"
#include "net/smtp_client.h"

namespace {

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

using nyra::HttpResponseParser;

HttpResponseParser parseInPieces(std::string_view bytes, std::size_t maxBody, std::size_t piece) {
    HttpResponseParser parser(maxBody);
    while (!bytes.empty() && (parser.state() == HttpResponseParser::State::Head ||
                              parser.state() == HttpResponseParser::State::Body)) {
        const std::size_t n = std::min(piece, bytes.size());
        parser.feed(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
    parser.finish();
    return parser;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t piece = data[0] % 17 + 1;
    const std::size_t maxBody = data[1] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    const HttpResponseParser whole = parseInPieces(bytes, maxBody, bytes.size() + 1);
    const HttpResponseParser pieces = parseInPieces(bytes, maxBody, piece);
    check(whole.body().size() <= maxBody);
    check(whole.state() == pieces.state());
    check(whole.body() == pieces.body());
    check(whole.status() == pieces.status());
    if (whole.state() == HttpResponseParser::State::Done)
        check(whole.status() <= 999);

    const std::size_t reply = nyra::completeSmtpReply(bytes);
    check(reply <= bytes.size());
    check(reply == 0 || bytes[reply - 1] == '\n');

    if (const auto url = nyra::parseHttpUrl(bytes)) {
        check(!url->host.empty() && url->port != 0 && url->path.front() == '/');
        check(url->path.find_first_of("\r\n ") == std::string::npos);
    }
    return 0;
}
