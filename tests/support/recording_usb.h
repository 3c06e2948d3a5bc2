// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A scripted stand-in for the USB library: one bus with up to two devices,
// every call recorded. Global like the library it stands in for; each test
// resets it.
#include <usb.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/usb_api.h"

namespace nyra::testing {

struct UsbCall {
    std::string name;
    int endpoint = 0;
    int timeout = 0;
    std::vector<std::uint8_t> bytes;
    int size = 0;  // bulk reads: the length asked for
};

struct RecordingUsb {
    int devicesPresent = 1;
    bool failOpen = false;
    bool failSetConfiguration = false;
    bool failClaim = false;
    bool failInterruptWrite = false;
    // A device of the same vendor with another product, first on the bus.
    bool strangerPresent = false;
    // What every interrupt write returns instead of its length.
    std::optional<int> interruptWriteResult;
    std::deque<std::uint8_t> inQueue;

    std::vector<UsbCall> calls;
    int openHandles = 0;
    std::mutex mutex;

    // Runs inside every library call, before it is recorded and outside the
    // recorder's lock, with the call as it will be recorded: a test can hold a
    // caller inside a transfer there.
    std::function<void(const UsbCall&)> onCall;
    // Library calls in progress at once; overlaps counts every call that
    // began while another was still inside the library.
    std::atomic<int> inFlight{0};
    std::atomic<int> overlaps{0};

    static RecordingUsb& instance();
    static UsbApi api();
    void reset();
    void setOnCall(std::function<void(const UsbCall&)> hook);

    std::vector<std::vector<std::uint8_t>> frames();  // interrupt writes
    std::vector<UsbCall> callsNamed(const std::string& name);
};

}  // namespace nyra::testing
