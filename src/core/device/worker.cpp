// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/worker.h"

#include <algorithm>

namespace nyra {

namespace {

constexpr int kEndOfOperationTimeoutMs = 1000;
constexpr std::int32_t kDeviceChangeRepeat = 48;

}  // namespace

Worker::Worker(WorkerShared& shared, CommandChannel& channel)
    : shared_(shared), channel_(channel) {}

Worker::~Worker() {
    if (thread_.joinable()) {
        requestQuit();
        thread_.join();
    }
}

void Worker::registerJob(std::uint8_t code, Job job) {
    std::lock_guard lock(mutex_);
    jobs_[code] = std::move(job);
}

void Worker::start() {
    {
        std::lock_guard lock(mutex_);
        // Start-up stores the first job's code before creating the thread.
        cycleCode_ = shared_.jobCode.load();
        phase_ = Phase::Woken;
    }
    thread_ = std::thread([this] { run(); });
}

// Callers hold the lock.
void Worker::wake(std::uint8_t code) {
    cycleCode_ = code;
    shared_.jobCode.store(code);
    phase_ = Phase::Woken;
    wake_.notify_one();
}

// Callers hold the lock.
void Worker::queueFollowUp(std::uint8_t code, bool fromNotice) {
    const auto sameKind = [&](const FollowUp& f) { return f.fromNotice == fromNotice; };
    followUps_.erase(std::remove_if(followUps_.begin(), followUps_.end(), sameKind),
                     followUps_.end());
    followUps_.push_back({code, fromNotice});
}

void Worker::startJob(std::uint8_t code) {
    std::lock_guard lock(mutex_);
    switch (phase_) {
        case Phase::Suspended:
            wake(code);
            return;
        case Phase::Ended:
            return;
        default:
            queueFollowUp(code, false);
            return;
    }
}

void Worker::deviceChangeNotice() {
    std::lock_guard lock(mutex_);
    shared_.deviceChangeCounter.fetch_add(1);
    shared_.deviceChangeFlag.store(true);
    switch (phase_) {
        case Phase::Suspended:
            wake(job::kQuietIdentify);
            return;
        case Phase::Running:
            // Acted upon only by this cycle's filter, which repeats job 7.
            shared_.jobCode.store(job::kQuietIdentify);
            return;
        case Phase::AfterFilter:
            // This cycle's filter has passed: the notice would stay unanswered.
            queueFollowUp(job::kQuietIdentify, true);
            return;
        default:
            return;  // not started, woken or ended: the coming filter sees it
    }
}

void Worker::requestQuit() {
    std::lock_guard lock(mutex_);
    shared_.quit.store(1);
    if (phase_ == Phase::Suspended) {
        phase_ = Phase::Woken;
        wake_.notify_one();
    }
}

void Worker::join() {
    if (thread_.joinable())
        thread_.join();
}

bool Worker::idleLocked() const {
    return (phase_ == Phase::Suspended || phase_ == Phase::Ended) && followUps_.empty();
}

bool Worker::idle() const {
    std::lock_guard lock(mutex_);
    return idleLocked();
}

void Worker::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    idleChanged_.wait(lock, [this] { return idleLocked(); });
}

std::uint8_t Worker::resultState(std::uint8_t code, bool hasJob, std::uint8_t result) {
    if (!hasJob)
        return state::kFailed;
    if (code == job::kQuietIdentify || code == job::kFullIdentify || code == job::kOtpFirst ||
        code == job::kDataView) {
        return state::kNeutral;
    }
    return result != 0 ? state::kSucceeded : state::kFailed;
}

// Takes the cycle's code; requests from now on wait for the next cycle.
std::uint8_t Worker::takeCode() {
    std::lock_guard lock(mutex_);
    phase_ = Phase::Running;
    return cycleCode_;
}

// The job's result, or nothing when the code has no job.
std::optional<std::uint8_t> Worker::runJob(std::uint8_t code) {
    Job job;
    {
        std::lock_guard lock(mutex_);
        job = jobs_[code];
    }
    if (!job || code == kIdleJobCode)
        return std::nullopt;
    return job();
}

// The counter is read and written under the lock that notices count under,
// so no notice is lost between the two.
bool Worker::deviceChangeFilterLoopsBack() {
    std::lock_guard lock(mutex_);
    if (shared_.deviceChangeFlag.load()) {
        std::int32_t counter = shared_.deviceChangeCounter.load();
        if (counter > kDeviceChangeRepeat) {
            if (counter % kDeviceChangeRepeat == 16)
                counter = 16;
            if (counter % kDeviceChangeRepeat == 32)
                counter = 32;
        }
        shared_.deviceChangeCounter.store(0);
        if (counter >= kDeviceChangeRepeat) {
            // Every notice stored job 7; requests made meanwhile stay queued.
            cycleCode_ = job::kQuietIdentify;
            shared_.jobCode.store(job::kQuietIdentify);
            phase_ = Phase::Woken;
            return true;
        }
        shared_.deviceChangeFlag.store(false);
    }
    phase_ = Phase::AfterFilter;
    return false;
}

// Step 7: the next queued follow-up, else idle until resumed.
void Worker::finishCycle() {
    std::unique_lock lock(mutex_);
    if (shared_.quit.load() == 1)
        return;  // asked to quit during the cycle: end at the top of the loop
    if (!followUps_.empty()) {
        const FollowUp next = followUps_.front();
        followUps_.erase(followUps_.begin());
        wake(next.code);
        return;
    }
    shared_.jobCode.store(kIdleJobCode);
    phase_ = Phase::Suspended;
    idleChanged_.notify_all();
    wake_.wait(lock, [this] { return phase_ != Phase::Suspended; });
}

void Worker::run() {
    for (;;) {
        if (shared_.quit.load() == 1)
            break;
        channel_.stateIndication(state::kRunning);
        const std::uint8_t code = takeCode();
        const std::optional<std::uint8_t> result = runJob(code);
        channel_.stateIndication(resultState(code, result.has_value(), result.value_or(0)));
        if (deviceChangeFilterLoopsBack())
            continue;
        if (channel_.link().connected()) {
            channel_.sendCommand(cmd::kEndOfOperation, kEndOfOperationTimeoutMs);
            // Command 9 ended any stream; what a failed or stopped job left
            // queued is read away before the next job's first command.
            if (result.value_or(0) == 0 || channel_.link().unsettled())
                channel_.link().drainUntilQuiet();
        }
        finishCycle();
    }
    std::lock_guard lock(mutex_);
    phase_ = Phase::Ended;
    followUps_.clear();
    idleChanged_.notify_all();
}

}  // namespace nyra
