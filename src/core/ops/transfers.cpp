#include "ops/transfers.h"

#include <algorithm>
#include <vector>

namespace nyra {

namespace {

// A programmer that never stops sending would hold the job forever.
constexpr int kMaxDrainReads = 1 << 16;

}  // namespace

void drainInput(Link& link, int length, int timeoutMs) {
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    for (int i = 0; i < kMaxDrainReads; ++i) {
        if (link.readReply(scratch.data(), length, timeoutMs) <= 0)
            return;
    }
}

std::size_t readFully(Link& link, std::uint8_t* buffer, std::size_t count, int timeoutMs) {
    std::size_t done = 0;
    while (done < count) {
        const int got = link.readReply(buffer + done, static_cast<int>(count - done), timeoutMs);
        if (got <= 0)
            break;
        done += std::min(static_cast<std::size_t>(got), count - done);
    }
    return done;
}

bool waitForByte(Link& link, std::uint8_t value, int reads, int timeoutMs) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (link.readReply(&byte, 1, timeoutMs) > 0 && byte == value)
            return true;
    }
    return false;
}

}  // namespace nyra
