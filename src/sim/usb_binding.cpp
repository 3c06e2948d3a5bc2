// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/usb_binding.h"

#include <atomic>

namespace nyra::sim::usb {

namespace {

std::atomic<Simulator*> gBound{nullptr};

// No exception may reach the caller of a C-style function.
template <typename Result, typename Call>
Result guarded(Result failure, Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

}  // namespace

void bind(Simulator* simulator) {
    gBound.store(simulator);
}

Simulator* bound() {
    return gBound.load();
}

void init(void) {
    guarded(0, [] {
        if (Simulator* sim = bound())
            sim->usbInit();
        return 0;
    });
}

int find_busses(void) {
    return guarded(0, [] {
        Simulator* sim = bound();
        return sim ? sim->usbFindBusses() : 0;
    });
}

int find_devices(void) {
    return guarded(0, [] {
        Simulator* sim = bound();
        return sim ? sim->usbFindDevices() : 0;
    });
}

struct usb_bus* get_busses(void) {
    return guarded<usb_bus*>(nullptr, [] {
        Simulator* sim = bound();
        return sim ? sim->usbGetBusses() : nullptr;
    });
}

usb_dev_handle* open(struct usb_device* dev) {
    return guarded<usb_dev_handle*>(nullptr, [dev] {
        Simulator* sim = bound();
        return sim ? sim->usbOpen(dev) : nullptr;
    });
}

int set_configuration(usb_dev_handle* dev, int configuration) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbSetConfiguration(dev, configuration) : kErrNoDevice;
    });
}

int claim_interface(usb_dev_handle* dev, int interface) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbClaimInterface(dev, interface) : kErrNoDevice;
    });
}

int release_interface(usb_dev_handle* dev, int interface) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbReleaseInterface(dev, interface) : kErrNoDevice;
    });
}

int close(usb_dev_handle* dev) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbClose(dev) : kErrNoDevice;
    });
}

int bulk_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbBulkWrite(dev, ep, bytes, size, timeout) : kErrNoDevice;
    });
}

int bulk_read(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbBulkRead(dev, ep, bytes, size, timeout) : kErrNoDevice;
    });
}

int interrupt_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout) {
    return guarded(kErrIo, [=] {
        Simulator* sim = bound();
        return sim ? sim->usbInterruptWrite(dev, ep, bytes, size, timeout) : kErrNoDevice;
    });
}

nyra::UsbApi api() {
    nyra::UsbApi table;
    table.init = &init;
    table.findBusses = &find_busses;
    table.findDevices = &find_devices;
    table.getBusses = &get_busses;
    table.open = &open;
    table.setConfiguration = &set_configuration;
    table.claimInterface = &claim_interface;
    table.releaseInterface = &release_interface;
    table.close = &close;
    table.bulkWrite = &bulk_write;
    table.bulkRead = &bulk_read;
    table.interruptWrite = &interrupt_write;
    return table;
}

}  // namespace nyra::sim::usb
