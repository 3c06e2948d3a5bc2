#include "device/worker.h"

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
    thread_ = std::thread([this] { run(); });
}

void Worker::startJob(std::uint8_t code) {
    std::lock_guard lock(mutex_);
    shared_.jobCode.store(code);
    if (idle_) {
        resumed_ = true;
        wake_.notify_one();
    } else {
        pending_ = code;
    }
}

void Worker::deviceChangeNotice() {
    shared_.deviceChangeCounter.fetch_add(1);
    std::lock_guard lock(mutex_);
    shared_.jobCode.store(job::kQuietIdentify);
    shared_.deviceChangeFlag.store(true);
    // While a job runs the notice is acted upon only by the device-change filter.
    if (idle_) {
        resumed_ = true;
        wake_.notify_one();
    }
}

void Worker::requestQuit() {
    std::lock_guard lock(mutex_);
    shared_.quit.store(1);
    resumed_ = true;
    wake_.notify_one();
}

void Worker::join() {
    if (thread_.joinable())
        thread_.join();
}

bool Worker::idle() const {
    std::lock_guard lock(mutex_);
    return idle_ && !pending_;
}

void Worker::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    idleChanged_.wait(lock, [this] { return idle_ && !resumed_ && !pending_; });
}

std::uint8_t Worker::resultState(std::uint8_t code, bool hasJob, std::uint8_t result) {
    if (!hasJob)
        return state::kFailed;
    if (code == job::kQuietIdentify || code == job::kFullIdentify || code == job::kOtpFirst) {
        return state::kNeutral;
    }
    return result != 0 ? state::kSucceeded : state::kFailed;
}

std::uint8_t Worker::runJob(std::uint8_t code, bool& hasJob) {
    Job job;
    {
        std::lock_guard lock(mutex_);
        job = jobs_[code];
    }
    hasJob = static_cast<bool>(job) && code != kIdleJobCode;
    return hasJob ? job() : 0;
}

bool Worker::deviceChangeFilterLoopsBack() {
    if (!shared_.deviceChangeFlag.load())
        return false;
    std::int32_t counter = shared_.deviceChangeCounter.load();
    if (counter > kDeviceChangeRepeat) {
        if (counter % kDeviceChangeRepeat == 16)
            counter = 16;
        if (counter % kDeviceChangeRepeat == 32)
            counter = 32;
        shared_.deviceChangeCounter.store(counter);
    }
    if (counter >= kDeviceChangeRepeat) {
        shared_.deviceChangeCounter.store(0);
        return true;  // the same job code runs again at once
    }
    shared_.deviceChangeCounter.store(0);
    shared_.deviceChangeFlag.store(false);
    return false;
}

// Returns false when the thread must end.
bool Worker::suspend() {
    std::unique_lock lock(mutex_);
    if (pending_) {
        shared_.jobCode.store(*pending_);
        pending_.reset();
        return true;
    }
    shared_.jobCode.store(kIdleJobCode);
    idle_ = true;
    idleChanged_.notify_all();
    wake_.wait(lock, [this] { return resumed_; });
    resumed_ = false;
    idle_ = false;
    return true;
}

void Worker::run() {
    for (;;) {
        if (shared_.quit.load() == 1)
            break;
        channel_.stateIndication(state::kRunning);
        const std::uint8_t code = shared_.jobCode.load();
        bool hasJob = false;
        const std::uint8_t result = runJob(code, hasJob);
        channel_.stateIndication(resultState(code, hasJob, result));
        if (deviceChangeFilterLoopsBack())
            continue;
        if (channel_.link().connected()) {
            channel_.sendCommand(cmd::kEndOfOperation, kEndOfOperationTimeoutMs);
        }
        suspend();
    }
    std::lock_guard lock(mutex_);
    idle_ = true;
    idleChanged_.notify_all();
}

}  // namespace nyra
