// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clock.h"

#include <cstdio>

#include <chrono>
#include <ctime>
#include <thread>

namespace nyra {

namespace {

LocalTime fromTm(const std::tm& tm, int millisecond) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
            tm.tm_min,         tm.tm_sec,     millisecond};
}

}  // namespace

std::int64_t SystemClock::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleepMs(std::int64_t ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string dateTimeText(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

LocalTime SystemClock::localTime() const {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return fromTm(tm, static_cast<int>(ms));
}

VirtualClock::VirtualClock(LocalTime start) : start_(start) {}

void VirtualClock::advance(std::int64_t ms) {
    if (ms > 0)
        now_.fetch_add(ms);
}

LocalTime VirtualClock::localTime() const {
    std::tm tm{};
    tm.tm_year = start_.year - 1900;
    tm.tm_mon = start_.month - 1;
    tm.tm_mday = start_.day;
    tm.tm_hour = start_.hour;
    tm.tm_min = start_.minute;
    tm.tm_sec = start_.second;
    const std::int64_t total = now_.load() + start_.millisecond;
    tm.tm_sec += static_cast<int>(total / 1000);
    timegm(&tm);  // normalises the fields
    return fromTm(tm, static_cast<int>(total % 1000));
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace nyra
