// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/link.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace nyra {

namespace {

constexpr int kDrainLength = 64;
constexpr int kDrainTimeoutMs = 100;
// Returned instead of calling the library with no handle: libusb 0.1
// dereferences the handle unchecked.
constexpr int kNoHandleError = -ENODEV;
// Quiet: one whole read transfer's room stays empty this long.
constexpr int kQuietReadLength = static_cast<int>(kTransferBufferSize);
constexpr int kQuietTimeoutMs = 50;
// A device that never stops sending must not hold the worker for ever.
constexpr int kMaxQuietReads = 1 << 14;

}  // namespace

Link::Link(const UsbApi& api, LinkHost& host) : api_(api), host_(host) {}

void Link::resetIdentity() {
    TransferGate::Hold hold(gate_);
    handle_.store(nullptr);
    connected_.store(false);
    std::lock_guard lock(identityMutex_);
    identity_ = DeviceIdentity{};
}

DeviceIdentity Link::identity() const {
    std::lock_guard lock(identityMutex_);
    return identity_;
}

void Link::rescan() {
    api_.init();
    api_.findBusses();
    api_.findDevices();
}

std::string busPathOf(const struct usb_bus* bus, const struct usb_device* dev) {
    return std::string(bus->dirname) + "/" + dev->filename;
}

namespace {

// libusb 0.1 keeps one bus list per process and rebuilds it on each scan:
// links of several programmers scan, walk it and open from it one at a time.
std::mutex& busMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::pair<std::string, struct usb_device*>> matching(const UsbApi& api,
                                                                 unsigned short vendorId,
                                                                 unsigned short productId) {
    std::vector<std::pair<std::string, struct usb_device*>> found;
    for (usb_bus* bus = api.getBusses(); bus; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev; dev = dev->next) {
            if (dev->descriptor.idVendor == vendorId && dev->descriptor.idProduct == productId)
                found.emplace_back(busPathOf(bus, dev), dev);
        }
    }
    return found;
}

}  // namespace

std::vector<std::string> programmerPaths(const UsbApi& api) {
    std::lock_guard bus(busMutex());
    api.init();
    api.findBusses();
    api.findDevices();
    std::vector<std::string> paths;
    for (const auto& [path, dev] : matching(api, kProgrammerVendorId, kProgrammerProductId))
        paths.push_back(path);
    return paths;
}

void Link::pin(const std::string& busPath) {
    TransferGate::Hold hold(gate_);
    std::lock_guard bus(busMutex());
    rescan();
    std::lock_guard lock(identityMutex_);
    pinned_ = busPath;
    knownPaths_.clear();
    for (const auto& [path, dev] : matching(api_, kProgrammerVendorId, kProgrammerProductId))
        knownPaths_.push_back(path);
}

std::string Link::pinnedPath() const {
    std::lock_guard lock(identityMutex_);
    return pinned_;
}

struct usb_device* Link::findProgrammer(unsigned short vendorId, unsigned short productId) {
    const auto found = matching(api_, vendorId, productId);
    std::lock_guard lock(identityMutex_);
    if (pinned_.empty())
        return found.empty() ? nullptr : found.front().second;
    const auto known = [&](const std::string& path) {
        return std::find(knownPaths_.begin(), knownPaths_.end(), path) != knownPaths_.end();
    };
    struct usb_device* pinned = nullptr;
    std::vector<std::pair<std::string, struct usb_device*>> arrived;
    for (const auto& entry : found) {
        if (entry.first == pinned_)
            pinned = entry.second;
        else if (!known(entry.first))
            arrived.push_back(entry);
    }
    // Gone, and one newcomer: the same programmer under its new device number
    // (only for one that was seen here before).
    if (!pinned && arrived.size() == 1 && known(pinned_)) {
        pinned_ = arrived.front().first;
        pinned = arrived.front().second;
    }
    if (pinned) {
        knownPaths_.clear();
        for (const auto& entry : found)
            knownPaths_.push_back(entry.first);
    }
    return pinned;
}

bool Link::devicePresent() {
    TransferGate::Hold hold(gate_);
    std::lock_guard bus(busMutex());
    rescan();
    const DeviceIdentity id = identity();
    return findProgrammer(id.vendorId, id.productId) != nullptr;
}

usb_dev_handle* Link::openDevice(unsigned short vendorId, unsigned short productId) {
    TransferGate::Hold hold(gate_);
    std::lock_guard bus(busMutex());
    rescan();
    struct usb_device* dev = findProgrammer(vendorId, productId);
    return dev ? api_.open(dev) : nullptr;
}

bool Link::claim(usb_dev_handle* handle, int configuration, int interfaceNumber) {
    TransferGate::Hold hold(gate_);
    bool ok = false;
    if (handle) {
        if (api_.setConfiguration(handle, configuration) < 0 ||
            api_.claimInterface(handle, interfaceNumber) < 0) {
            api_.close(handle);
            if (handle_.load() == handle)
                handle_.store(nullptr);
        } else {
            connected_.store(true);
            // Whatever the device still had queued from an earlier exchange is discarded.
            char scratch[kDrainLength];
            api_.bulkRead(handle, kReplyEndpoint, scratch, kDrainLength, kDrainTimeoutMs);
            ok = true;
        }
    }
    if (!ok && !host_.programmerBlocked())
        host_.statusAlert(itext(34));
    return ok;
}

bool Link::releaseAndClose(usb_dev_handle* handle, int interfaceNumber) {
    TransferGate::Hold hold(gate_);
    if (handle) {
        api_.releaseInterface(handle, interfaceNumber);
        api_.close(handle);
    }
    if (handle_.load() == handle)
        handle_.store(nullptr);
    connected_.store(false);
    return true;
}

bool Link::releaseAndCloseWithin(std::chrono::milliseconds bound) {
    TransferGate::Hold hold(gate_, bound);
    if (!hold)
        return false;
    if (connected_.load())
        releaseAndClose(handle_.load(), identity().interfaceNumber);
    return true;
}

void Link::openAndClaim() {
    TransferGate::Hold hold(gate_);
    resetIdentity();
    const DeviceIdentity id = identity();
    usb_dev_handle* handle = openDevice(id.vendorId, id.productId);
    handle_.store(handle);
    claim(handle, kProgrammerConfiguration, id.interfaceNumber);
}

bool Link::connect(bool showMessage) {
    {
        TransferGate::Hold hold(gate_);
        if (devicePresent()) {
            if (connected_.load())
                releaseAndClose(handle_.load(), identity().interfaceNumber);
            openAndClaim();
            if (connected_.load())
                return true;
        }
    }
    // Reported outside the gate: the box waits for the user.
    if (showMessage)
        host_.warningBox(itext(34));
    return false;
}

int Link::reopen(bool withMessages) {
    std::optional<TextKey> failure;
    {
        TransferGate::Hold hold(gate_);
        failure = reopenFailure();
    }
    if (!failure)
        return kLinkGoOn;
    // Reported outside the gate: the box waits for the user.
    host_.greyMenuCommand(kLinkFailureGreyedCommand);
    host_.statusAlert(*failure);
    if (withMessages)
        host_.warningBox(*failure);
    return kLinkStop;
}

// The text to report when the caller must stop, none when it goes on.
std::optional<TextKey> Link::reopenFailure() {
    if (!devicePresent()) {
        // The handle of a programmer that is gone is no link: connected() says so.
        if (connected_.load())
            releaseAndClose(handle_.load(), identity().interfaceNumber);
        return itext(34);
    }
    if (connected_.load()) {
        releaseAndClose(handle_.load(), identity().interfaceNumber);
        openAndClaim();
        // A failed re-open of a link that was up goes on unless a device
        // change is pending; the next command then fails in the job.
        if (connected_.load() || !host_.deviceChangePending())
            return std::nullopt;
        return itext(35);
    }
    openAndClaim();
    if (connected_.load())
        return std::nullopt;
    return itext(35);
}

bool Link::sendFrame(int endpoint, const std::uint8_t* bytes, int length, int timeoutMs) {
    TransferGate::Hold hold(gate_);
    usb_dev_handle* handle = handle_.load();
    if (!handle)
        return false;
    return api_.interruptWrite(handle, endpoint, reinterpret_cast<const char*>(bytes), length,
                               effectiveTimeout(timeoutMs)) >= 0;
}

int Link::readReply(std::uint8_t* buffer, int length, int timeoutMs) {
    TransferGate::Hold hold(gate_);
    usb_dev_handle* handle = handle_.load();
    if (!handle)
        return kNoHandleError;
    const int got = api_.bulkRead(handle, kReplyEndpoint, reinterpret_cast<char*>(buffer), length,
                                  effectiveTimeout(timeoutMs));
    if (got < 0)
        unsettled_.store(true);
    return got;
}

void Link::drainUntilQuiet() {
    TransferGate::Hold hold(gate_);
    unsettled_.store(false);
    usb_dev_handle* handle = handle_.load();
    if (!handle)
        return;
    std::vector<char> scratch(kQuietReadLength);
    for (int i = 0; i < kMaxQuietReads; ++i) {
        if (api_.bulkRead(handle, kReplyEndpoint, scratch.data(), kQuietReadLength,
                          kQuietTimeoutMs) <= 0)
            return;
    }
}

int Link::writeStreamChunk(const std::uint8_t* buffer, int length, int timeoutMs) {
    TransferGate::Hold hold(gate_);
    usb_dev_handle* handle = handle_.load();
    if (!handle)
        return kNoHandleError;
    return api_.bulkWrite(handle, identity().dataEndpoint, reinterpret_cast<const char*>(buffer),
                          length, effectiveTimeout(timeoutMs));
}

}  // namespace nyra
