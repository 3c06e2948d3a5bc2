// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/transfer_gate.h"

#include <algorithm>

namespace nyra {

bool TransferGate::acquire(std::optional<std::chrono::milliseconds> bound) {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    if (owner_ == me) {
        ++depth_;
        return true;
    }
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back(ticket);
    const auto myTurn = [&] { return !owner_ && waiting_.front() == ticket; };
    if (bound) {
        if (!changed_.wait_for(lock, *bound, myTurn)) {
            // Whoever is next in line is woken by the owner's release.
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
            return false;
        }
    } else {
        changed_.wait(lock, myTurn);
    }
    waiting_.pop_front();
    owner_ = me;
    depth_ = 1;
    return true;
}

void TransferGate::release() {
    std::lock_guard lock(mutex_);
    if (--depth_ == 0) {
        owner_.reset();
        changed_.notify_all();
    }
}

}  // namespace nyra
