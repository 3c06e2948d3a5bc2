// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace nyra {

// One piece of work at a time on a thread of its own, so that network talk
// never blocks the window. The owner's end waits for the piece in flight.
class BackgroundTask {
public:
    BackgroundTask() = default;
    ~BackgroundTask() { join(); }
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // False (and nothing runs) while an earlier piece is still running.
    bool start(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        if (busy_.load())
            return false;
        if (thread_.joinable())
            thread_.join();
        busy_.store(true);
        thread_ = std::thread([this, work = std::move(work)] {
            work();
            busy_.store(false);
        });
        return true;
    }

    bool busy() const { return busy_.load(); }

    void join() {
        std::lock_guard lock(mutex_);
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::mutex mutex_;
    std::atomic<bool> busy_{false};
    std::thread thread_;
};

}  // namespace nyra
