// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace nyra {

struct LocalTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// "2026-12-10 20:37:35": how the record, the change log and the store write a time.
std::string dateTimeText(const LocalTime& time);

// Every wait and every time-of-day read goes through a Clock, so that tests
// can run long waits in virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds since an arbitrary origin.
    virtual std::int64_t nowMs() const = 0;
    virtual void sleepMs(std::int64_t ms) = 0;
    virtual LocalTime localTime() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t nowMs() const override;
    void sleepMs(std::int64_t ms) override;
    LocalTime localTime() const override;
};

// Time advances only when someone sleeps or calls advance(); sleeping returns
// at once. Thread-safe.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(LocalTime start = {2026, 1, 1, 8, 0, 0, 0});
    std::int64_t nowMs() const override { return now_.load(); }
    void sleepMs(std::int64_t ms) override { advance(ms); }
    LocalTime localTime() const override;
    void advance(std::int64_t ms);

private:
    LocalTime start_;
    std::atomic<std::int64_t> now_{0};
};

// The process-wide real clock.
Clock& systemClock();

}  // namespace nyra
