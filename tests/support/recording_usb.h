#pragma once

// A scripted stand-in for the USB library: one bus with up to two devices,
// every call recorded. Global like the library it stands in for; each test
// resets it.
#include <usb.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "device/usb_api.h"

namespace nyra::testing {

struct UsbCall {
    std::string name;
    int endpoint = 0;
    int timeout = 0;
    std::vector<std::uint8_t> bytes;
};

struct RecordingUsb {
    int devicesPresent = 1;
    bool failOpen = false;
    bool failSetConfiguration = false;
    bool failClaim = false;
    bool failInterruptWrite = false;
    std::deque<std::uint8_t> inQueue;

    std::vector<UsbCall> calls;
    int openHandles = 0;
    std::mutex mutex;

    static RecordingUsb& instance();
    static UsbApi api();
    void reset();

    std::vector<std::vector<std::uint8_t>> frames();  // interrupt writes
    std::vector<UsbCall> callsNamed(const std::string& name);
};

}  // namespace nyra::testing
