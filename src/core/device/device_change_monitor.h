// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

// Watches for the programmer being plugged in or pulled out: a udev monitor
// for real hardware and, when the USB library is the simulator, its event
// fd. Every notice calls the callback on the monitor's own thread; the owner
// hands it on to the window thread.
namespace nyra {

class DeviceChangeMonitor {
public:
    using Callback = std::function<void()>;

    // A watch besides the simulator's fd: the udev monitor in the program.
    // While fd is readable, drain() takes what is queued and says how many
    // notices it held; a watch whose fd fails is dropped. keepAlive holds
    // what the watch needs until the monitor thread ends.
    struct Source {
        int fd = -1;
        std::function<int()> drain;
        std::shared_ptr<void> keepAlive;
    };

    DeviceChangeMonitor() = default;
    ~DeviceChangeMonitor();
    DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
    DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

    // simulatorEventFd: an eventfd or the read end of a pipe, or -1. The fd
    // stays the caller's and must stay open until stop(); it is only read,
    // up to 8 bytes per notice, and dropped from the watch when it reaches
    // its end or fails. Without udev
    // (or with watchUdev false) the fd alone is watched. False when already
    // running or the thread cannot be set up.
    bool start(int simulatorEventFd, Callback onChange, bool watchUdev = true);
    // The same with the given watch in place of udev's (tests feed their own).
    bool startWith(int simulatorEventFd, Source source, Callback onChange);
    // Ends and joins the thread; returns at once when not running. Must not
    // be called from the callback.
    void stop();

    bool running() const;
    bool watchingUdev() const { return watchingUdev_.load(); }

private:
    mutable std::mutex lifecycle_;
    std::thread thread_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> watchingUdev_{false};
};

// Whether a udev event is about the programmer, from the device's idVendor and
// idProduct attributes or its PRODUCT property ("716/5018/100"); empty views
// stand for values the event does not carry.
bool isProgrammerUsbDevice(std::string_view idVendor, std::string_view idProduct,
                           std::string_view productProperty);

}  // namespace nyra
