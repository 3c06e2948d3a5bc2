// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "device/command_channel.h"

namespace nyra {

inline constexpr std::uint8_t kIdleJobCode = 0xFF;

// Job codes the worker dispatches on.
namespace job {
inline constexpr std::uint8_t kProgram = 1;
inline constexpr std::uint8_t kErase = 5;
inline constexpr std::uint8_t kQuietIdentify = 7;
inline constexpr std::uint8_t kVerify = 8;
inline constexpr std::uint8_t kRead = 13;
inline constexpr std::uint8_t kAuto = 14;
inline constexpr std::uint8_t kBlankCheck = 15;
inline constexpr std::uint8_t kFirmwareVersion = 18;
inline constexpr std::uint8_t kChipFill = 19;
inline constexpr std::uint8_t kFirmwareUpgrade = 21;
inline constexpr std::uint8_t kFullIdentify = 23;
inline constexpr std::uint8_t kFind = 24;
inline constexpr std::uint8_t kOtpFirst = 26;
inline constexpr std::uint8_t kOtpLast = 31;
inline constexpr std::uint8_t kBatchCycle = 33;
inline constexpr std::uint8_t kQuadEnable = 35;
// The program's own: the data view's exchange, run here so that it never
// meets a job's transfer nor blocks the window.
inline constexpr std::uint8_t kDataView = 40;
// The update check's download and firmware question, for the same reasons.
inline constexpr std::uint8_t kUpdateCheck = 41;
}  // namespace job

// The bytes the window thread and the worker share.
struct WorkerShared {
    std::atomic<std::uint8_t> jobCode{kIdleJobCode};
    std::atomic<int> quit{0};
    std::atomic<bool> deviceChangeFlag{false};
    std::atomic<std::int32_t> deviceChangeCounter{0};
};

// A job returns its result byte: non-zero means success.
using Job = std::function<std::uint8_t()>;

// The one thread that runs jobs against the programmer, one at a time.
//
// The hand-over is guarded. A request wakes the idle worker with its code;
// any request after that, until the cycle is over, waits in a queue of one
// (the last request wins) and runs after the cycle's post-job steps. The code
// of a cycle is taken under the lock, so a request arriving while the worker
// is still inside the state indication before the job neither replaces the
// code that woke it nor runs twice.
class Worker {
public:
    Worker(WorkerShared& shared, CommandChannel& channel);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Registers the job of a code; codes without a job run nothing and are
    // reported as failed.
    void registerJob(std::uint8_t code, Job job);

    // Creates the thread, which runs the job code already stored at once.
    void start();
    // Start job: the only way in for a job request.
    void startJob(std::uint8_t code);
    // A device-change notice: counter + 1, flag, and job 7 when the worker is
    // idle. During a cycle it acts through the device-change filter; once the
    // filter of that cycle has run, it makes job 7 run next.
    void deviceChangeNotice();
    // Sets the quit flag and resumes; the thread ends at the top of its next cycle.
    void requestQuit();
    // Waits for the thread to end (after requestQuit).
    void join();

    bool idle() const;
    // Blocks until the worker is idle with nothing pending (for tests and shutdown).
    void waitUntilIdle();

    // The state the job reports to the programmer after it ran.
    static std::uint8_t resultState(std::uint8_t code, bool hasJob, std::uint8_t result);

private:
    // Where the thread is in its cycle, as far as the hand-over cares.
    enum class Phase : std::uint8_t {
        NotStarted,
        Suspended,
        Woken,        // resumed; the cycle's code is not taken yet
        Running,      // code taken: the job or its steps up to the filter
        AfterFilter,  // command 9 and suspending
        Ended
    };
    // A queued follow-up: a request (at most one, the last wins) or job 7 for
    // a notice that came after the filter, kept in arrival order.
    struct FollowUp {
        std::uint8_t code;
        bool fromNotice;
    };

    void run();
    std::uint8_t takeCode();
    std::optional<std::uint8_t> runJob(std::uint8_t code);
    bool deviceChangeFilterLoopsBack();
    void finishCycle();
    void wake(std::uint8_t code);
    void queueFollowUp(std::uint8_t code, bool fromNotice);
    bool idleLocked() const;

    WorkerShared& shared_;
    CommandChannel& channel_;
    std::array<Job, 256> jobs_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idleChanged_;
    Phase phase_ = Phase::NotStarted;
    std::uint8_t cycleCode_ = kIdleJobCode;
    std::vector<FollowUp> followUps_;
    std::thread thread_;
};

}  // namespace nyra
