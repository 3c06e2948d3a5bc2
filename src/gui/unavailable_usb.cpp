// SPDX-License-Identifier: GPL-3.0-or-later
#include "unavailable_usb.h"

namespace nyra::gui {

namespace {

void noInit() {}
int noneFound() {
    return 0;
}
struct usb_bus* noBusses() {
    return nullptr;
}
usb_dev_handle* noOpen(struct usb_device*) {
    return nullptr;
}
int failOnHandle(usb_dev_handle*, int) {
    return -1;
}
int failClose(usb_dev_handle*) {
    return -1;
}
int failWrite(usb_dev_handle*, int, const char*, int, int) {
    return -1;
}
int failRead(usb_dev_handle*, int, char*, int, int) {
    return -1;
}

}  // namespace

const UsbApi& unavailableUsbApi() {
    static const UsbApi api = [] {
        UsbApi table;
        table.init = noInit;
        table.findBusses = noneFound;
        table.findDevices = noneFound;
        table.getBusses = noBusses;
        table.open = noOpen;
        table.setConfiguration = failOnHandle;
        table.claimInterface = failOnHandle;
        table.releaseInterface = failOnHandle;
        table.close = failClose;
        table.bulkWrite = failWrite;
        table.bulkRead = failRead;
        table.interruptWrite = failWrite;
        return table;
    }();
    return api;
}

}  // namespace nyra::gui
