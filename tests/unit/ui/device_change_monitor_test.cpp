// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_change_monitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libudev.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace nyra {
namespace {

using namespace std::chrono_literals;

// Counts notices and lets the test wait for a number of them.
class NoticeCounter {
public:
    DeviceChangeMonitor::Callback callback() {
        return [this] {
            std::lock_guard lock(mutex_);
            ++count_;
            cv_.notify_all();
        };
    }
    bool waitFor(int n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 10s, [&] { return count_ >= n; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
};

class EventFd {
public:
    EventFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~EventFd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int fd() const { return fd_; }
    void signal() {
        const std::uint64_t one = 1;
        ASSERT_EQ(write(fd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    }

private:
    int fd_;
};

TEST(DeviceChangeMonitor, EventFdNoticesReachTheCallback) {
    EventFd events;
    ASSERT_GE(events.fd(), 0);
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(events.fd(), counter.callback(), false));
    EXPECT_TRUE(monitor.running());
    EXPECT_FALSE(monitor.watchingUdev());

    events.signal();
    ASSERT_TRUE(counter.waitFor(1));
    events.signal();
    ASSERT_TRUE(counter.waitFor(2));
    monitor.stop();
    EXPECT_FALSE(monitor.running());

    // Each notice was read off the fd, so nothing is left pending.
    EXPECT_EQ(counter.count(), 2);
    std::uint64_t left = 0;
    EXPECT_EQ(read(events.fd(), &left, sizeof left), -1);
    EXPECT_EQ(errno, EAGAIN);
}

TEST(DeviceChangeMonitor, WorksAlongsideTheUdevWatch) {
    EventFd events;
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    // No udev daemon runs here; whether or not the udev watch is up, the
    // simulator's notices still arrive.
    ASSERT_TRUE(monitor.start(events.fd(), counter.callback()));
    events.signal();
    EXPECT_TRUE(counter.waitFor(1));
    monitor.stop();
    EXPECT_FALSE(monitor.watchingUdev());
}

// A watch of the udev kind over a pipe: each byte written is one event, and
// drain() reports as many notices as the test asks for.
class FakeWatch {
public:
    FakeWatch() { EXPECT_EQ(pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0); }
    ~FakeWatch() {
        closeReadEnd();
        closeWriteEnd();
    }
    DeviceChangeMonitor::Source source() {
        DeviceChangeMonitor::Source source;
        source.fd = fds_[0];
        source.drain = [this] {
            unsigned char bytes[64];
            while (read(fds_[0], bytes, sizeof bytes) > 0) {
            }
            drains.fetch_add(1);
            return noticesPerDrain.load();
        };
        source.keepAlive = std::shared_ptr<void>(nullptr, [this](void*) { released = true; });
        return source;
    }
    void event() {
        const unsigned char byte = 1;
        ASSERT_EQ(write(fds_[1], &byte, 1), 1);
    }
    void closeWriteEnd() {
        if (fds_[1] >= 0)
            close(fds_[1]);
        fds_[1] = -1;
    }
    void closeReadEnd() {
        if (fds_[0] >= 0)
            close(fds_[0]);
        fds_[0] = -1;
    }

    std::atomic<int> noticesPerDrain{1};
    std::atomic<int> drains{0};
    std::atomic<bool> released{false};

private:
    int fds_[2] = {-1, -1};
};

TEST(DeviceChangeMonitor, EveryNoticeAWatchDrainsReachesTheCallback) {
    FakeWatch watch;
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.startWith(-1, watch.source(), counter.callback()));
    EXPECT_TRUE(monitor.watchingUdev());
    watch.noticesPerDrain = 3;  // three programmer events in one read
    watch.event();
    EXPECT_TRUE(counter.waitFor(3));
    watch.noticesPerDrain = 0;  // events about other devices
    watch.event();
    while (watch.drains.load() < 2)
        std::this_thread::yield();
    watch.noticesPerDrain = 1;
    watch.event();
    EXPECT_TRUE(counter.waitFor(4));
    monitor.stop();
    EXPECT_EQ(counter.count(), 4);
    EXPECT_TRUE(watch.released.load()) << "the watch ends with the monitor";
}

TEST(DeviceChangeMonitor, TheWatchAndTheSimulatorFdAreServedTogether) {
    FakeWatch watch;
    EventFd events;
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.startWith(events.fd(), watch.source(), counter.callback()));
    watch.event();
    events.signal();
    EXPECT_TRUE(counter.waitFor(2));
    events.signal();
    EXPECT_TRUE(counter.waitFor(3));
    watch.event();
    EXPECT_TRUE(counter.waitFor(4));
    monitor.stop();
}

TEST(DeviceChangeMonitor, ABrokenWatchIsDroppedAndTheSimulatorFdGoesOn) {
    FakeWatch watch;
    EventFd events;
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.startWith(events.fd(), watch.source(), counter.callback()));
    watch.closeWriteEnd();  // the watch's fd hangs up
    while (!watch.released.load())
        std::this_thread::yield();
    EXPECT_EQ(watch.drains.load(), 0) << "a failed watch is not read";
    events.signal();
    EXPECT_TRUE(counter.waitFor(1));
    events.signal();
    EXPECT_TRUE(counter.waitFor(2));
    monitor.stop();
}

// Whether this machine lets a process open a udev netlink monitor at all.
bool udevMonitorAvailable() {
    udev* context = udev_new();
    if (!context)
        return false;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    const bool ok = monitor && udev_monitor_enable_receiving(monitor) >= 0;
    if (monitor)
        udev_monitor_unref(monitor);
    udev_unref(context);
    return ok;
}

TEST(DeviceChangeMonitor, WatchesUdevWhereItCanAndOnlyWhenAsked) {
    if (!udevMonitorAvailable())
        GTEST_SKIP() << "no udev netlink monitor on this machine";
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(-1, counter.callback(), true));
    EXPECT_TRUE(monitor.watchingUdev());
    monitor.stop();
    ASSERT_TRUE(monitor.start(-1, counter.callback(), false));
    EXPECT_FALSE(monitor.watchingUdev());
    monitor.stop();
}

int openFdCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST(DeviceChangeMonitor, StopGivesBackEveryDescriptorItOpened) {
    const int before = openFdCount();
    NoticeCounter counter;
    for (bool udev : {false, true}) {
        DeviceChangeMonitor monitor;
        ASSERT_TRUE(monitor.start(-1, counter.callback(), udev));
        EXPECT_GT(openFdCount(), before);
        monitor.stop();
        EXPECT_EQ(openFdCount(), before) << (udev ? "with udev" : "without udev");
    }
}

// A process started with standard input closed hands out fd 0 first.
TEST(DeviceChangeMonitor, ANoticeFdNumberedZeroIsWatchedToo) {
    const int savedStdin = dup(0);
    ASSERT_GE(savedStdin, 0);
    close(0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    const bool started = fds[0] == 0 && monitor.start(fds[0], counter.callback(), false);
    if (started) {
        const unsigned char byte = 1;
        EXPECT_EQ(write(fds[1], &byte, 1), 1);
        EXPECT_TRUE(counter.waitFor(1));
        monitor.stop();
    }
    close(fds[1]);
    dup2(savedStdin, 0);
    close(savedStdin);
    EXPECT_TRUE(started);
}

void ignoreSignal(int) {}

// A signal that interrupts the monitor's wait must not end the watch.
TEST(DeviceChangeMonitor, AnInterruptedWaitGoesOn) {
    struct sigaction action {};
    action.sa_handler = ignoreSignal;  // no SA_RESTART: poll fails with EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    EventFd events;
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(events.fd(), counter.callback(), false));
    // Only the monitor's thread may take the signal.
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigset_t oldMask;
    pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);
    std::this_thread::sleep_for(20ms);  // let it reach its wait
    kill(getpid(), SIGUSR1);
    std::this_thread::sleep_for(20ms);
    events.signal();
    EXPECT_TRUE(counter.waitFor(1));
    monitor.stop();
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(DeviceChangeMonitor, PipeNoticesAndAClosedWriter) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(fds[0], counter.callback(), false));
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(counter.waitFor(1));

    // The writer's end closes: the monitor drops the fd instead of spinning
    // on it and still stops on request.
    close(fds[1]);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(counter.count(), 1);
    monitor.stop();
    close(fds[0]);
}

TEST(DeviceChangeMonitor, StopWithoutAnySourceAndRestart) {
    NoticeCounter counter;
    DeviceChangeMonitor monitor;
    monitor.stop();  // not running: nothing to do
    ASSERT_TRUE(monitor.start(-1, counter.callback(), false));
    EXPECT_FALSE(monitor.start(-1, counter.callback(), false));
    monitor.stop();
    monitor.stop();

    EventFd events;
    ASSERT_TRUE(monitor.start(events.fd(), counter.callback(), false));
    events.signal();
    EXPECT_TRUE(counter.waitFor(1));
}  // the destructor stops the running monitor

TEST(DeviceChangeMonitor, ThrowingCallbackDoesNotEndTheWatch) {
    EventFd events;
    std::atomic<int> calls{0};
    NoticeCounter counter;
    auto count = counter.callback();
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(
        events.fd(),
        [&] {
            count();
            if (++calls == 1)
                throw std::runtime_error("receiver fault");
        },
        false));
    events.signal();
    ASSERT_TRUE(counter.waitFor(1));
    events.signal();
    EXPECT_TRUE(counter.waitFor(2));
}

TEST(DeviceChangeMonitor, StopWhileNoticesKeepArriving) {
    EventFd events;
    std::atomic<int> calls{0};
    std::atomic<bool> done{false};
    DeviceChangeMonitor monitor;
    ASSERT_TRUE(monitor.start(
        events.fd(), [&] { ++calls; }, false));
    std::thread plug([&] {
        while (!done.load()) {
            events.signal();
            std::this_thread::yield();
        }
    });
    while (calls.load() < 10)
        std::this_thread::yield();
    monitor.stop();
    const int atStop = calls.load();
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(calls.load(), atStop);  // no callback after stop returned
    done = true;
    plug.join();
}

TEST(ProgrammerMatch, FromAttributes) {
    EXPECT_TRUE(isProgrammerUsbDevice("0716", "5018", ""));
    EXPECT_TRUE(isProgrammerUsbDevice("0716\n", "5018", ""));
    EXPECT_FALSE(isProgrammerUsbDevice("0716", "5019", ""));
    EXPECT_FALSE(isProgrammerUsbDevice("1d6b", "5018", ""));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", ""));
    // Attribute files may carry blanks around the value.
    EXPECT_TRUE(isProgrammerUsbDevice(" 0716", "\t5018 ", ""));
    EXPECT_TRUE(isProgrammerUsbDevice("", "", " 716/ 5018/100"));
    // USB ids have at most four hex digits, leading zeros or not.
    EXPECT_FALSE(isProgrammerUsbDevice("00716", "5018", ""));
    EXPECT_FALSE(isProgrammerUsbDevice("0716", "+5018", ""));
}

TEST(ProgrammerMatch, FromProductPropertyWhenAttributesAreGone) {
    EXPECT_TRUE(isProgrammerUsbDevice("", "", "716/5018/100"));
    EXPECT_TRUE(isProgrammerUsbDevice("", "", "0716/5018/0"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "716/5019/100"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "1716/5018/100"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "716/5018"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "716"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "x716/5018/1"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "10716/5018/1"));
    EXPECT_FALSE(isProgrammerUsbDevice("", "", "/5018/1"));
}

}  // namespace
}  // namespace nyra
