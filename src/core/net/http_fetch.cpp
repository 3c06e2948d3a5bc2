// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/http_fetch.h"

#include <cstdio>

#include "net/http_response.h"
#include "net/tcp.h"

namespace nyra {

namespace {

// A failure's text is cut to what the box shows of it.
constexpr std::size_t kMaxFailureText = 100;

HttpFetchResult failed(std::string text) {
    HttpFetchResult result;
    if (text.size() > kMaxFailureText)
        text.resize(kMaxFailureText);
    result.message = std::move(text);
    return result;
}

std::string withCode(const char* format, unsigned status) {
    char text[64];
    std::snprintf(text, sizeof text, format, status);
    return text;
}

bool between(unsigned status, unsigned low, unsigned high) {
    return status >= low && status <= high;
}

}  // namespace

std::optional<HttpUrl> parseHttpUrl(std::string_view url) {
    constexpr std::string_view kScheme = "http://";
    if (url.substr(0, kScheme.size()) != kScheme)
        return std::nullopt;
    url.remove_prefix(kScheme.size());
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    HttpUrl parsed;
    if (slash != std::string_view::npos)
        parsed.path = std::string(url.substr(slash));
    if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        unsigned long port = 0;
        if (digits.empty() || digits.size() > 5)
            return std::nullopt;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            port = port * 10 + static_cast<unsigned long>(c - '0');
        }
        if (port == 0 || port > 65535)
            return std::nullopt;
        parsed.port = static_cast<std::uint16_t>(port);
        authority = authority.substr(0, colon);
    }
    if (authority.empty())
        return std::nullopt;
    for (char c : authority) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!allowed)
            return std::nullopt;
    }
    for (char c : parsed.path) {
        // The request line must stay one line of visible characters.
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            return std::nullopt;
    }
    parsed.host = std::string(authority);
    return parsed;
}

std::optional<std::string> refusedStatusText(unsigned status, unsigned acceptedClasses) {
    if (status < 200 || status > 599)
        return withCode("未知错误:#%u", status);
    // The classes as the program has always read them: 300, 400 and 500
    // open no class, and the last code of each closes none.
    if (((acceptedClasses & kAccept2xx) && between(status, 200, 298)) ||
        ((acceptedClasses & kAccept3xx) && between(status, 301, 398)) ||
        ((acceptedClasses & kAccept4xx) && between(status, 401, 498)) ||
        ((acceptedClasses & kAccept5xx) && between(status, 501, 598)))
        return std::nullopt;
    if (status == 299 || status == 399 || status == 499 || status == 599)
        return std::string();
    if (status < 299)
        return withCode("获取成功:#%u", status);
    if (status < 399)
        return withCode("信息代码:#%u", status);
    if (status < 499) {
        switch (status) {
            case 400:
                return withCode("请求无法解析:#%u", status);
            case 404:
                return withCode("请求地址不存在:#%u", status);
            case 405:
                return withCode("服务器不支持:#%u", status);
            default:
                return withCode("请求错误:#%u", status);
        }
    }
    switch (status) {
        case 500:
            return withCode("未知服务器错误:#%u", status);
        case 503:
            return withCode("服务器容量不足:#%u", status);
        default:
            return withCode("服务器错误:#%u", status);
    }
}

HttpFetchResult httpFetch(std::string_view url, const HttpFetchOptions& options) {
    const auto parsed = parseHttpUrl(url);
    if (!parsed)
        return failed("The URL is invalid.");
    const auto address = tcp::resolveIpv4(parsed->host);
    if (!address)
        return failed("The server name or address could not be resolved.");
    int fd = -1;
    switch (tcp::connectIpv4(*address, parsed->port, options.timeout, fd)) {
        case tcp::ConnectResult::Connected:
            break;
        case tcp::ConnectResult::NoSocket:
        case tcp::ConnectResult::Refused:
            return failed("A connection with the server could not be established: " +
                          tcp::lastErrorText());
    }

    std::string request = "GET " + parsed->path + " HTTP/1.1\r\nHost: " + parsed->host;
    if (parsed->port != 80)
        request += ":" + std::to_string(parsed->port);
    request +=
        "\r\nUser-Agent: KVQ_Nyra\r\nAccept: */*\r\nAccept-Encoding: identity\r\n"
        "Connection: close\r\n\r\n";
    if (!tcp::sendAll(fd, request)) {
        tcp::closeSocket(fd);
        return failed("The connection with the server was reset.");
    }

    HttpResponseParser response(options.maxBody);
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::string chunk;
    while (response.state() == HttpResponseParser::State::Head ||
           response.state() == HttpResponseParser::State::Body) {
        chunk.clear();
        const auto got = tcp::receiveSome(fd, chunk, 16 * 1024, deadline);
        if (got == tcp::ReceiveResult::Data) {
            response.feed(chunk);
        } else if (got == tcp::ReceiveResult::Closed) {
            response.finish();
        } else {
            tcp::closeSocket(fd);
            return failed(got == tcp::ReceiveResult::TimedOut
                              ? "The operation timed out."
                              : "The connection with the server was reset.");
        }
    }
    tcp::closeSocket(fd);
    if (response.state() == HttpResponseParser::State::Bad)
        return failed("The server returned an invalid or unrecognized response.");

    HttpFetchResult result;
    result.status = response.status();
    if (options.acceptedClasses != 0) {
        if (auto refused = refusedStatusText(result.status, options.acceptedClasses)) {
            result.message = std::move(*refused);
            return result;
        }
    }
    result.ok = true;
    result.body = response.body();
    return result;
}

}  // namespace nyra
