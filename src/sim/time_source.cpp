// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/time_source.h"

#include <chrono>
#include <thread>

namespace nyra::sim {

std::int64_t RealTimeSource::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealTimeSource::sleepMs(std::int64_t ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TimeSource& realTimeSource() {
    static RealTimeSource source;
    return source;
}

}  // namespace nyra::sim
