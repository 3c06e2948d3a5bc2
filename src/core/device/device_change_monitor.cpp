// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_change_monitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>

#include "device/usb_api.h"

namespace nyra {

namespace {

// Up to four hex digits, as sysfs and udev write USB ids; blanks around them
// are allowed.
std::optional<unsigned> parseHex16(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (error != std::errc() || stop != end || text.size() > 4)
        return std::nullopt;
    return value;
}

bool isProgrammerIds(std::optional<unsigned> vendor, std::optional<unsigned> product) {
    return vendor == kProgrammerVendorId && product == kProgrammerProductId;
}

std::string_view orEmpty(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

struct UdevWatch {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;

    void release() {
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
        monitor = nullptr;
        context = nullptr;
    }
};

// udevd announces devices once their rules (and permissions) are applied,
// so "udev" rather than raw kernel events.
UdevWatch openUdevWatch() {
    UdevWatch watch;
    watch.context = udev_new();
    if (!watch.context)
        return watch;
    watch.monitor = udev_monitor_new_from_netlink(watch.context, "udev");
    if (!watch.monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(watch.monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(watch.monitor) < 0 ||
        udev_monitor_get_fd(watch.monitor) < 0) {
        watch.release();
    }
    return watch;
}

// Reads every queued udev event; returns how many were about the programmer.
int drainUdev(udev_monitor* monitor) {
    int notices = 0;
    while (udev_device* device = udev_monitor_receive_device(monitor)) {
        // On removal the attributes are gone already; the PRODUCT property stays.
        if (isProgrammerUsbDevice(orEmpty(udev_device_get_sysattr_value(device, "idVendor")),
                                  orEmpty(udev_device_get_sysattr_value(device, "idProduct")),
                                  orEmpty(udev_device_get_property_value(device, "PRODUCT")))) {
            ++notices;
        }
        udev_device_unref(device);
    }
    return notices;
}

void notify(const DeviceChangeMonitor::Callback& onChange) {
    try {
        onChange();
    } catch (...) {
        // The watch goes on; a failing receiver must not end the monitor thread.
    }
}

// The udev watch as a source of notices; the watch ends with the last copy.
DeviceChangeMonitor::Source udevSource(UdevWatch watch) {
    auto owned = std::shared_ptr<UdevWatch>(new UdevWatch(watch), [](UdevWatch* w) {
        w->release();
        delete w;
    });
    DeviceChangeMonitor::Source source;
    source.fd = udev_monitor_get_fd(watch.monitor);
    source.drain = [owned] { return drainUdev(owned->monitor); };
    source.keepAlive = owned;
    return source;
}

void runMonitor(DeviceChangeMonitor::Source source, int simulatorFd, int wakeFd,
                const DeviceChangeMonitor::Callback& onChange) {
    while (true) {
        // Slot 0 is the wake pipe; the others are there only while watched.
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {wakeFd, POLLIN, 0};
        const nfds_t sourceSlot = source.fd >= 0 ? count++ : 0;
        if (sourceSlot != 0)
            fds[sourceSlot] = {source.fd, POLLIN, 0};
        const nfds_t simSlot = simulatorFd >= 0 ? count++ : 0;
        if (simSlot != 0)
            fds[simSlot] = {simulatorFd, POLLIN, 0};

        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents != 0)
            break;

        if (sourceSlot != 0 && fds[sourceSlot].revents != 0) {
            if (fds[sourceSlot].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                source = {};  // a broken watch is dropped; the others go on
            } else {
                for (int n = source.drain(); n > 0; --n)
                    notify(onChange);
            }
        }
        if (simSlot != 0 && fds[simSlot].revents != 0) {
            const short events = fds[simSlot].revents;
            if (events & (POLLIN | POLLHUP)) {
                // An eventfd hands over its 8-byte count; a pipe up to as many bytes.
                std::uint64_t notices = 0;
                const ssize_t n = read(simulatorFd, &notices, sizeof notices);
                if (n > 0) {
                    notify(onChange);
                } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                    simulatorFd = -1;  // its writer is gone; stop polling a dead fd
                }
            } else {
                simulatorFd = -1;
            }
        }
    }
}

}  // namespace

bool isProgrammerUsbDevice(std::string_view idVendor, std::string_view idProduct,
                           std::string_view productProperty) {
    if (isProgrammerIds(parseHex16(idVendor), parseHex16(idProduct)))
        return true;
    // PRODUCT is "vendor/product/release" in hex without leading zeros.
    const auto first = productProperty.find('/');
    if (first == std::string_view::npos)
        return false;
    const auto second = productProperty.find('/', first + 1);
    if (second == std::string_view::npos)
        return false;
    return isProgrammerIds(parseHex16(productProperty.substr(0, first)),
                           parseHex16(productProperty.substr(first + 1, second - first - 1)));
}

DeviceChangeMonitor::~DeviceChangeMonitor() {
    stop();
}

bool DeviceChangeMonitor::start(int simulatorEventFd, Callback onChange, bool watchUdev) {
    UdevWatch watch = watchUdev ? openUdevWatch() : UdevWatch{};
    return startWith(simulatorEventFd, watch.monitor ? udevSource(watch) : Source{},
                     std::move(onChange));
}

bool DeviceChangeMonitor::startWith(int simulatorEventFd, Source source, Callback onChange) {
    std::lock_guard lock(lifecycle_);
    if (thread_.joinable())
        return false;
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    const bool watching = source.fd >= 0;
    try {
        thread_ = std::thread(runMonitor, std::move(source), simulatorEventFd, wake[0],
                              std::move(onChange));
    } catch (...) {
        close(wake[0]);
        close(wake[1]);
        return false;
    }
    watchingUdev_ = watching;
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    return true;
}

void DeviceChangeMonitor::stop() {
    std::lock_guard lock(lifecycle_);
    if (!thread_.joinable())
        return;
    const unsigned char byte = 1;
    ssize_t written;
    do {
        written = write(wakeWrite_, &byte, 1);
    } while (written < 0 && errno == EINTR);
    thread_.join();
    close(wakeRead_);
    close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    watchingUdev_ = false;
}

bool DeviceChangeMonitor::running() const {
    std::lock_guard lock(lifecycle_);
    return thread_.joinable();
}

}  // namespace nyra
