// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace nyra {

// Lets one thread at a time use the USB handle. Waiting threads are served in
// arrival order, so a window-thread command between two of the worker's reads
// is not starved; the owner may enter again (link operations nest).
class TransferGate {
public:
    // Waits without bound (nullopt) or up to bound; false when the bound passed.
    bool acquire(std::optional<std::chrono::milliseconds> bound = std::nullopt);
    void release();

    class Hold {
    public:
        Hold(TransferGate& gate, std::optional<std::chrono::milliseconds> bound = std::nullopt)
            : gate_(gate), held_(gate.acquire(bound)) {}
        ~Hold() {
            if (held_)
                gate_.release();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        explicit operator bool() const { return held_; }

    private:
        TransferGate& gate_;
        bool held_;
    };

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::thread::id> owner_;
    int depth_ = 0;
    std::deque<std::uint64_t> waiting_;
    std::uint64_t nextTicket_ = 0;
};

}  // namespace nyra
