// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nyra {

// Reads an HTTP/1.x response as its bytes arrive: the status line, the
// headers it needs (Content-Length, Transfer-Encoding) and the body, raw,
// up to a limit. It never holds more than the head limit and the body limit.
class HttpResponseParser {
public:
    enum class State : unsigned char { Head, Body, Done, Bad };

    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

    // Only the first maxBody bytes of the body are kept; the response counts
    // as complete once they are there.
    explicit HttpResponseParser(std::size_t maxBody) : maxBody_(maxBody) {}

    State feed(std::string_view bytes);
    // The peer closed the connection: a body that runs to the close is
    // complete; anything else cut short is not.
    State finish();

    State state() const { return state_; }
    unsigned status() const { return status_; }
    const std::string& body() const { return body_; }

private:
    enum class Framing : unsigned char { Length, Chunked, UntilClose };
    enum class ChunkStep : unsigned char { Size, Data, DataEnd, Trailer };

    State parseHead();
    bool parseStatusLine(std::string_view line);
    bool parseHeader(std::string_view line);
    void takeBody(std::string_view bytes);
    void takeChunked();
    void keep(std::string_view bytes);

    std::size_t maxBody_;
    State state_ = State::Head;
    std::string pending_;  // head bytes, or chunked bytes not yet decoded
    unsigned status_ = 0;
    Framing framing_ = Framing::UntilClose;
    std::uint64_t remaining_ = 0;  // of the body (Length) or of the chunk
    ChunkStep chunkStep_ = ChunkStep::Size;
    bool lengthSeen_ = false;
    std::string body_;
};

}  // namespace nyra
