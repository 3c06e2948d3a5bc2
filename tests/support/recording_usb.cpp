#include "support/recording_usb.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nyra::testing {

namespace {

usb_bus gBus;
struct usb_device gDevices[2];
int gHandleToken[2];

RecordingUsb& rec() {
    return RecordingUsb::instance();
}

void record(const char* name, int endpoint = 0, int timeout = 0, const char* bytes = nullptr,
            int size = 0) {
    UsbCall call{name, endpoint, timeout, {}};
    if (bytes && size > 0)
        call.bytes.assign(bytes, bytes + size);
    rec().calls.push_back(std::move(call));
}

void fakeInit() {
    std::lock_guard lock(rec().mutex);
    record("init");
}
int fakeFindBusses() {
    return 1;
}
int fakeFindDevices() {
    std::lock_guard lock(rec().mutex);
    const int n = std::clamp(rec().devicesPresent, 0, 2);
    gBus = usb_bus{};
    gBus.devices = n > 0 ? &gDevices[0] : nullptr;
    for (int i = 0; i < 2; ++i) {
        std::memset(&gDevices[i], 0, sizeof gDevices[i]);
        gDevices[i].descriptor.idVendor = kProgrammerVendorId;
        gDevices[i].descriptor.idProduct = kProgrammerProductId;
        gDevices[i].bus = &gBus;
        gDevices[i].next = (i == 0 && n > 1) ? &gDevices[1] : nullptr;
    }
    return n;
}
usb_bus* fakeGetBusses() {
    return &gBus;
}
usb_dev_handle* fakeOpen(struct usb_device* dev) {
    std::lock_guard lock(rec().mutex);
    record("open", dev == &gDevices[1] ? 1 : 0);
    if (rec().failOpen)
        return nullptr;
    ++rec().openHandles;
    return reinterpret_cast<usb_dev_handle*>(&gHandleToken[dev == &gDevices[1] ? 1 : 0]);
}
int fakeSetConfiguration(usb_dev_handle*, int configuration) {
    std::lock_guard lock(rec().mutex);
    record("set_configuration", configuration);
    return rec().failSetConfiguration ? -EIO : 0;
}
int fakeClaim(usb_dev_handle*, int interface) {
    std::lock_guard lock(rec().mutex);
    record("claim_interface", interface);
    return rec().failClaim ? -EBUSY : 0;
}
int fakeRelease(usb_dev_handle*, int interface) {
    std::lock_guard lock(rec().mutex);
    record("release_interface", interface);
    return 0;
}
int fakeClose(usb_dev_handle*) {
    std::lock_guard lock(rec().mutex);
    record("close");
    --rec().openHandles;
    return 0;
}
int fakeBulkWrite(usb_dev_handle*, int ep, const char* bytes, int size, int timeout) {
    std::lock_guard lock(rec().mutex);
    record("bulk_write", ep, timeout, bytes, size);
    return size;
}
int fakeBulkRead(usb_dev_handle*, int ep, char* bytes, int size, int timeout) {
    std::lock_guard lock(rec().mutex);
    record("bulk_read", ep, timeout);
    int n = 0;
    while (n < size && !rec().inQueue.empty()) {
        bytes[n++] = static_cast<char>(rec().inQueue.front());
        rec().inQueue.pop_front();
    }
    return n > 0 ? n : -ETIMEDOUT;
}
int fakeInterruptWrite(usb_dev_handle*, int ep, const char* bytes, int size, int timeout) {
    std::lock_guard lock(rec().mutex);
    record("interrupt_write", ep, timeout, bytes, size);
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
    inQueue.clear();
    calls.clear();
    openHandles = 0;
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
