// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "device/usb_api.h"

namespace nyra {

// Fills the USB function table from a shared library loaded at run time:
// the simulator shim "rwb_mod.so" beside the executable when it exists, else
// the system's libusb 0.1.
class UsbLibrary {
public:
    static constexpr const char* kShimFileName = "rwb_mod.so";
    static constexpr const char* kSystemLibrary = "libusb-0.1.so.4";
    // Names the library to load instead, so that an installed program can run
    // on the simulator without a copy of itself beside it.
    static constexpr const char* kLibraryVariable = "NYRA_USB_LIBRARY";

    UsbLibrary() = default;
    ~UsbLibrary();
    UsbLibrary(const UsbLibrary&) = delete;
    UsbLibrary& operator=(const UsbLibrary&) = delete;
    UsbLibrary(UsbLibrary&& other) noexcept;
    UsbLibrary& operator=(UsbLibrary&& other) noexcept;

    // Loads the library NYRA_USB_LIBRARY names when it is set, else
    // programDir/rwb_mod.so when present, else the system library.
    static UsbLibrary loadFor(const std::string& programDir);
    // Loads one library by path or soname.
    static UsbLibrary loadFile(const std::string& pathOrName);

    bool loaded() const { return handle_ != nullptr; }
    const UsbApi& api() const { return api_; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    // The simulator's plug/unplug notification fd, or -1 when the library has none.
    int eventFd() const;

private:
    void* handle_ = nullptr;
    UsbApi api_;
    std::string path_;
    std::string error_;
    int (*eventFd_)(void) = nullptr;
};

// The folder that holds the running executable, with no trailing slash.
std::string executableDirectory();

}  // namespace nyra
