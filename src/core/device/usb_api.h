// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <usb.h>

namespace nyra {

// The twelve libusb 0.1 functions the program uses, as a table, so that the
// real library, the simulator shim and in-process test doubles are all used
// through the same code.
struct UsbApi {
    void (*init)(void) = nullptr;
    int (*findBusses)(void) = nullptr;
    int (*findDevices)(void) = nullptr;
    struct usb_bus* (*getBusses)(void) = nullptr;
    usb_dev_handle* (*open)(struct usb_device* dev) = nullptr;
    int (*setConfiguration)(usb_dev_handle* dev, int configuration) = nullptr;
    int (*claimInterface)(usb_dev_handle* dev, int interface) = nullptr;
    int (*releaseInterface)(usb_dev_handle* dev, int interface) = nullptr;
    int (*close)(usb_dev_handle* dev) = nullptr;
    int (*bulkWrite)(usb_dev_handle* dev, int ep, const char* bytes, int size,
                     int timeout) = nullptr;
    int (*bulkRead)(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) = nullptr;
    int (*interruptWrite)(usb_dev_handle* dev, int ep, const char* bytes, int size,
                          int timeout) = nullptr;

    bool complete() const {
        return init && findBusses && findDevices && getBusses && open && setConfiguration &&
               claimInterface && releaseInterface && close && bulkWrite && bulkRead &&
               interruptWrite;
    }
};

// The exported names, in the order of the table above.
inline constexpr const char* kUsbApiSymbols[12] = {
    "usb_init",  "usb_find_busses",       "usb_find_devices",    "usb_get_busses",
    "usb_open",  "usb_set_configuration", "usb_claim_interface", "usb_release_interface",
    "usb_close", "usb_bulk_write",        "usb_bulk_read",       "usb_interrupt_write"};

// The programmer's identity and endpoints.
inline constexpr unsigned short kProgrammerVendorId = 0x0716;
inline constexpr unsigned short kProgrammerProductId = 0x5018;
inline constexpr int kProgrammerConfiguration = 1;
inline constexpr int kProgrammerInterface = 0;
inline constexpr int kFrameEndpoint = 2;     // interrupt OUT: command frames
inline constexpr int kStreamEndpoint = 1;    // bulk OUT: data streams
inline constexpr int kReplyEndpoint = 0x83;  // bulk IN: replies and read data

}  // namespace nyra
