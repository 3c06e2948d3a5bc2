// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace nyra::sim {

// Every wait of the simulated device goes through a TimeSource, so that tests
// can run long device waits (erase polls, time-outs) in virtual time.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Monotonic milliseconds since an arbitrary origin.
    virtual std::int64_t nowMs() = 0;
    virtual void sleepMs(std::int64_t ms) = 0;
};

class RealTimeSource final : public TimeSource {
public:
    std::int64_t nowMs() override;
    void sleepMs(std::int64_t ms) override;
};

// Time moves only when someone sleeps or calls advance(); sleeping returns at
// once. Thread-safe.
class VirtualTimeSource final : public TimeSource {
public:
    explicit VirtualTimeSource(std::int64_t startMs = 0) : now_(startMs) {}
    std::int64_t nowMs() override { return now_.load(); }
    void sleepMs(std::int64_t ms) override { advance(ms); }
    void advance(std::int64_t ms) {
        if (ms > 0)
            now_.fetch_add(ms);
    }

private:
    std::atomic<std::int64_t> now_;
};

// The process-wide real time source.
TimeSource& realTimeSource();

}  // namespace nyra::sim
