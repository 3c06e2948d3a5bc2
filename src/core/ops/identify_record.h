// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace nyra {

inline constexpr int kIdentifyMatched = 1;  // a record matched; the lists show it
inline constexpr int kIdentifyNoMatch = 0;  // a state code, or an identity not in the catalogue
inline constexpr int kIdentifyFailed = -1;  // no usable answer, a failed read, or blocked
inline constexpr int kIdentifyNoProgrammer = -2;  // missing, not opened, or command 7 refused

// What the last identification found, for those who report it elsewhere
// (the command line prints every matching record).
struct IdentifyOutcome {
    int result = kIdentifyFailed;
    std::uint32_t identity = 0;          // the answer that decided, or the last one
    std::vector<std::uint32_t> matches;  // catalogue positions, table order
};

class IdentifyRecord {
public:
    void store(IdentifyOutcome outcome) {
        std::lock_guard lock(mutex_);
        last_ = std::move(outcome);
    }
    IdentifyOutcome last() const {
        std::lock_guard lock(mutex_);
        return last_;
    }

private:
    mutable std::mutex mutex_;
    IdentifyOutcome last_;
};

}  // namespace nyra
