// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace nyra::sim {

// The bulk IN endpoint: replies and data the device has queued for the host,
// each with the time it is ready. A read takes from the front message only and
// never joins two messages, as a short USB packet ends a transfer.
class InQueue {
public:
    void push(std::vector<std::uint8_t> bytes, std::int64_t readyAtUs);
    bool empty() const { return messages_.empty(); }
    // When the front message is ready, or nothing when the queue is empty.
    std::optional<std::int64_t> frontReadyUs() const;
    std::size_t frontRemaining() const;
    // Takes up to out.size() bytes of the front message.
    std::size_t take(std::span<std::uint8_t> out);
    void clear() { messages_.clear(); }
    std::size_t pendingBytes() const;

private:
    struct Message {
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
        std::int64_t readyAtUs = 0;
    };
    std::deque<Message> messages_;
};

}  // namespace nyra::sim
