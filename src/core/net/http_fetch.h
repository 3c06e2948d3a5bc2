// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nyra {

// The status classes a fetch may accept, as bits.
inline constexpr unsigned kAccept2xx = 1;
inline constexpr unsigned kAccept3xx = 2;
inline constexpr unsigned kAccept4xx = 4;
inline constexpr unsigned kAccept5xx = 8;

struct HttpUrl {
    std::string host;
    std::uint16_t port = 80;
    std::string path = "/";
};

// "http://host[:port][/path]"; nothing else (no https, no user part).
std::optional<HttpUrl> parseHttpUrl(std::string_view url);

// nullopt when the status is accepted; otherwise the box text for it, which
// is empty for the codes that end a class (299, 399, 499, 599).
std::optional<std::string> refusedStatusText(unsigned status, unsigned acceptedClasses);

struct HttpFetchResult {
    bool ok = false;
    unsigned status = 0;
    // The first bytes of the body, raw, when ok.
    std::string body;
    // Why not, when not ok: the box text (possibly empty, still a box).
    std::string message;
};

struct HttpFetchOptions {
    // 0: any status is taken.
    unsigned acceptedClasses = 0;
    std::size_t maxBody = 64 * 1024;
    // Bounds the connect, and the whole answer after the request went out.
    std::chrono::milliseconds timeout{30000};
};

// One HTTP/1.1 GET, read to its end or to maxBody bytes of the body.
HttpFetchResult httpFetch(std::string_view url, const HttpFetchOptions& options);

}  // namespace nyra
