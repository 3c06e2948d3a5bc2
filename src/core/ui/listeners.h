// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace nyra {

// Listeners of a model that threads change: they run on the thread that made
// the change, outside the model's lock. A listener must not throw; one that
// does is skipped. After remove returns, the listener is not called again and
// no call is still running on another thread; it may be called from inside a
// listener, including the one being removed.
template <typename Event>
class Listeners {
public:
    using Listener = std::function<void(const Event&)>;
    using Token = std::uint64_t;

    Token add(Listener listener) {
        auto subscriber = std::make_shared<Subscriber>();
        subscriber->listener = std::move(listener);
        std::lock_guard lock(mutex_);
        subscriber->token = nextToken_++;
        subscribers_.push_back(subscriber);
        return subscriber->token;
    }

    bool remove(Token token) {
        std::shared_ptr<Subscriber> subscriber;
        {
            std::lock_guard lock(mutex_);
            const auto it = std::find_if(subscribers_.begin(), subscribers_.end(),
                                         [token](const auto& s) { return s->token == token; });
            if (it == subscribers_.end())
                return false;
            subscriber = std::move(*it);
            subscribers_.erase(it);
        }
        const auto self = std::this_thread::get_id();
        std::unique_lock lock(subscriber->mutex);
        subscriber->active = false;
        subscriber->callEnded.wait(lock, [&] {
            return std::all_of(subscriber->callers.begin(), subscriber->callers.end(),
                               [self](std::thread::id caller) { return caller == self; });
        });
        return true;
    }

    void publish(const std::vector<Event>& events) {
        std::vector<std::shared_ptr<Subscriber>> targets;
        {
            std::lock_guard lock(mutex_);
            targets = subscribers_;
        }
        const auto self = std::this_thread::get_id();
        for (const Event& event : events) {
            for (const auto& subscriber : targets) {
                {
                    std::lock_guard lock(subscriber->mutex);
                    if (!subscriber->active)
                        continue;
                    subscriber->callers.push_back(self);
                }
                try {
                    subscriber->listener(event);
                } catch (...) {
                    // A faulty listener must not break the thread that made the change.
                }
                {
                    std::lock_guard lock(subscriber->mutex);
                    auto& callers = subscriber->callers;
                    callers.erase(std::find(callers.begin(), callers.end(), self));
                }
                subscriber->callEnded.notify_all();
            }
        }
    }
    void publish(const Event& event) { publish(std::vector<Event>{event}); }

private:
    struct Subscriber {
        Token token = 0;
        Listener listener;
        std::mutex mutex;
        std::condition_variable callEnded;
        bool active = true;
        // Threads inside the listener right now, so that remove can wait for
        // the others without waiting for itself.
        std::vector<std::thread::id> callers;
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    Token nextToken_ = 1;
};

}  // namespace nyra
