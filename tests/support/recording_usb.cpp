// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_usb.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nyra::testing {

namespace {

usb_bus gBus;
// Two programmers, and a device of the same vendor with another product.
constexpr int kStranger = 2;
struct usb_device gDevices[3];
int gHandleToken[3];

int deviceIndex(const struct usb_device* dev) {
    return static_cast<int>(dev - gDevices);
}

RecordingUsb& rec() {
    return RecordingUsb::instance();
}

UsbCall makeCall(const char* name, int endpoint, int timeout, const char* bytes, int size) {
    UsbCall call{name, endpoint, timeout, {}};
    if (bytes && size > 0)
        call.bytes.assign(bytes, bytes + size);
    return call;
}

// Counts the call as inside the library and runs the test's hook.
class InLibrary {
public:
    explicit InLibrary(const UsbCall& call) {
        if (rec().inFlight.fetch_add(1) > 0)
            rec().overlaps.fetch_add(1);
        std::function<void(const UsbCall&)> hook;
        {
            std::lock_guard lock(rec().mutex);
            hook = rec().onCall;
        }
        if (hook)
            hook(call);
    }
    ~InLibrary() { rec().inFlight.fetch_sub(1); }
    InLibrary(const InLibrary&) = delete;
    InLibrary& operator=(const InLibrary&) = delete;
};

// Callers hold the recorder's lock.
void record(const char* name, int endpoint = 0, int timeout = 0, const char* bytes = nullptr,
            int size = 0) {
    rec().calls.push_back(makeCall(name, endpoint, timeout, bytes, size));
}

void fakeInit() {
    const InLibrary inLibrary(makeCall("init", 0, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("init");
}
int fakeFindBusses() {
    const InLibrary inLibrary(makeCall("find_busses", 0, 0, nullptr, 0));
    return 1;
}
int fakeFindDevices() {
    const InLibrary inLibrary(makeCall("find_devices", 0, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    const int n = std::clamp(rec().devicesPresent, 0, 2);
    gBus = usb_bus{};
    for (auto& dev : gDevices) {
        std::memset(&dev, 0, sizeof dev);
        dev.descriptor.idVendor = kProgrammerVendorId;
        dev.descriptor.idProduct = kProgrammerProductId;
        dev.bus = &gBus;
    }
    gDevices[kStranger].descriptor.idProduct = kProgrammerProductId + 1;
    // Bus order: the stranger (when plugged), then the programmers.
    struct usb_device** next = &gBus.devices;
    if (rec().strangerPresent) {
        *next = &gDevices[kStranger];
        next = &gDevices[kStranger].next;
    }
    for (int i = 0; i < n; ++i) {
        *next = &gDevices[i];
        next = &gDevices[i].next;
    }
    return n + (rec().strangerPresent ? 1 : 0);
}
usb_bus* fakeGetBusses() {
    const InLibrary inLibrary(makeCall("get_busses", 0, 0, nullptr, 0));
    return &gBus;
}
usb_dev_handle* fakeOpen(struct usb_device* dev) {
    const InLibrary inLibrary(makeCall("open", deviceIndex(dev), 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("open", deviceIndex(dev));
    if (rec().failOpen)
        return nullptr;
    ++rec().openHandles;
    return reinterpret_cast<usb_dev_handle*>(&gHandleToken[deviceIndex(dev)]);
}
int fakeSetConfiguration(usb_dev_handle*, int configuration) {
    const InLibrary inLibrary(makeCall("set_configuration", configuration, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("set_configuration", configuration);
    return rec().failSetConfiguration ? -EIO : 0;
}
int fakeClaim(usb_dev_handle*, int interface) {
    const InLibrary inLibrary(makeCall("claim_interface", interface, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("claim_interface", interface);
    return rec().failClaim ? -EBUSY : 0;
}
int fakeRelease(usb_dev_handle*, int interface) {
    const InLibrary inLibrary(makeCall("release_interface", interface, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("release_interface", interface);
    return 0;
}
int fakeClose(usb_dev_handle*) {
    const InLibrary inLibrary(makeCall("close", 0, 0, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("close");
    --rec().openHandles;
    return 0;
}
int fakeBulkWrite(usb_dev_handle*, int ep, const char* bytes, int size, int timeout) {
    const InLibrary inLibrary(makeCall("bulk_write", ep, timeout, bytes, size));
    std::lock_guard lock(rec().mutex);
    record("bulk_write", ep, timeout, bytes, size);
    return size;
}
int fakeBulkRead(usb_dev_handle*, int ep, char* bytes, int size, int timeout) {
    const InLibrary inLibrary(makeCall("bulk_read", ep, timeout, nullptr, 0));
    std::lock_guard lock(rec().mutex);
    record("bulk_read", ep, timeout);
    rec().calls.back().size = size;
    int n = 0;
    while (n < size && !rec().inQueue.empty()) {
        bytes[n++] = static_cast<char>(rec().inQueue.front());
        rec().inQueue.pop_front();
    }
    return n > 0 ? n : -ETIMEDOUT;
}
int fakeInterruptWrite(usb_dev_handle*, int ep, const char* bytes, int size, int timeout) {
    const InLibrary inLibrary(makeCall("interrupt_write", ep, timeout, bytes, size));
    std::lock_guard lock(rec().mutex);
    record("interrupt_write", ep, timeout, bytes, size);
    if (rec().interruptWriteResult)
        return *rec().interruptWriteResult;
    return rec().failInterruptWrite ? -EIO : size;
}

}  // namespace

RecordingUsb& RecordingUsb::instance() {
    static RecordingUsb usb;
    return usb;
}

UsbApi RecordingUsb::api() {
    UsbApi api;
    api.init = fakeInit;
    api.findBusses = fakeFindBusses;
    api.findDevices = fakeFindDevices;
    api.getBusses = fakeGetBusses;
    api.open = fakeOpen;
    api.setConfiguration = fakeSetConfiguration;
    api.claimInterface = fakeClaim;
    api.releaseInterface = fakeRelease;
    api.close = fakeClose;
    api.bulkWrite = fakeBulkWrite;
    api.bulkRead = fakeBulkRead;
    api.interruptWrite = fakeInterruptWrite;
    return api;
}

void RecordingUsb::reset() {
    std::lock_guard lock(mutex);
    devicesPresent = 1;
    failOpen = failSetConfiguration = failClaim = failInterruptWrite = false;
    strangerPresent = false;
    interruptWriteResult.reset();
    inQueue.clear();
    calls.clear();
    openHandles = 0;
    onCall = nullptr;
    inFlight = 0;
    overlaps = 0;
}

void RecordingUsb::setOnCall(std::function<void(const UsbCall&)> hook) {
    std::lock_guard lock(mutex);
    onCall = std::move(hook);
}

std::vector<std::vector<std::uint8_t>> RecordingUsb::frames() {
    std::lock_guard lock(mutex);
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& c : calls) {
        if (c.name == "interrupt_write")
            out.push_back(c.bytes);
    }
    return out;
}

std::vector<UsbCall> RecordingUsb::callsNamed(const std::string& name) {
    std::lock_guard lock(mutex);
    std::vector<UsbCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const UsbCall& c) { return c.name == name; });
    return out;
}

}  // namespace nyra::testing
