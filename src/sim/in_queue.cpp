// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_queue.h"

#include <algorithm>

namespace nyra::sim {

void InQueue::push(std::vector<std::uint8_t> bytes, std::int64_t readyAtUs) {
    if (bytes.empty())
        return;
    messages_.push_back({std::move(bytes), 0, readyAtUs});
}

std::optional<std::int64_t> InQueue::frontReadyUs() const {
    if (messages_.empty())
        return std::nullopt;
    return messages_.front().readyAtUs;
}

std::size_t InQueue::frontRemaining() const {
    if (messages_.empty())
        return 0;
    return messages_.front().bytes.size() - messages_.front().offset;
}

std::size_t InQueue::take(std::span<std::uint8_t> out) {
    if (messages_.empty())
        return 0;
    Message& front = messages_.front();
    const std::size_t n = std::min(out.size(), front.bytes.size() - front.offset);
    std::copy_n(front.bytes.begin() + static_cast<std::ptrdiff_t>(front.offset), n, out.begin());
    front.offset += n;
    if (front.offset == front.bytes.size())
        messages_.pop_front();
    return n;
}

std::size_t InQueue::pendingBytes() const {
    std::size_t total = 0;
    for (const auto& m : messages_)
        total += m.bytes.size() - m.offset;
    return total;
}

}  // namespace nyra::sim
