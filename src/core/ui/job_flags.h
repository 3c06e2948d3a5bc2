// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace nyra {

// The bytes the jobs and the window thread share. Each is written by one side
// and polled by the other.
struct JobFlags {
    // Set by identification on state code 000004 and by the firmware upgrade;
    // chip jobs refuse to start while it is set.
    std::atomic<bool> programmerBlocked{false};
    // Identification changed the selected chip in a way the user must confirm.
    std::atomic<bool> chipChanged{false};
    // More than one catalogue record matched the last identity.
    std::atomic<bool> notUnique{false};
    std::atomic<bool> fileLoaded{false};
    std::atomic<bool> upgradeRunning{false};
    // Until this time (Clock::nowMs) the programmer restarts after an upgrade:
    // its absence is the restart, not a programmer that was not found.
    std::atomic<std::int64_t> restartingUntilMs{0};
    bool restartingAt(std::int64_t nowMs) const { return nowMs < restartingUntilMs.load(); }
    // Set by the window when it closes while a read runs.
    std::atomic<bool> closeRequested{false};

    std::atomic<bool> stopErase{false}, stopProgram{false}, stopVerify{false}, stopRead{false},
        stopBlankCheck{false};
    // Set only between a job's lock and unlock of the controls.
    std::atomic<bool> eraseRunning{false}, programRunning{false}, verifyRunning{false},
        readRunning{false};
    // What the last verify counted, for the reports of kvq-cli.
    std::atomic<std::uint32_t> verifyMismatches{0};
    // Whether the last blank check's verdict was "not blank".
    std::atomic<bool> notBlank{false};
};

// The name and length of the loaded data file, for the log line the program
// and verify buttons write before their job starts.
class LoadedFile {
public:
    struct Info {
        std::string path;
        std::uint64_t bytes = 0;
    };
    void set(std::string path, std::uint64_t bytes) {
        std::lock_guard lock(mutex_);
        info_ = Info{std::move(path), bytes};
    }
    void clear() {
        std::lock_guard lock(mutex_);
        info_.reset();
    }
    std::optional<Info> get() const {
        std::lock_guard lock(mutex_);
        return info_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<Info> info_;
};

}  // namespace nyra
