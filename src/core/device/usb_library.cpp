// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace nyra {

namespace {

template <typename F>
void bindSymbol(void* handle, const char* name, F& slot) {
    slot = reinterpret_cast<F>(dlsym(handle, name));
}

}  // namespace

UsbLibrary::~UsbLibrary() {
    if (handle_)
        dlclose(handle_);
}

UsbLibrary::UsbLibrary(UsbLibrary&& other) noexcept {
    *this = std::move(other);
}

UsbLibrary& UsbLibrary::operator=(UsbLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_)
            dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        api_ = std::exchange(other.api_, UsbApi{});
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        eventFd_ = std::exchange(other.eventFd_, nullptr);
    }
    return *this;
}

UsbLibrary UsbLibrary::loadFile(const std::string& pathOrName) {
    UsbLibrary lib;
    lib.path_ = pathOrName;
    // RTLD_LOCAL keeps the shim's bus list apart from any other libusb in the process.
    void* handle = dlopen(pathOrName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        lib.error_ =
            "Cannot load the USB library " + pathOrName + ": " + (why ? why : "unknown error");
        return lib;
    }
    UsbApi api;
    bindSymbol(handle, kUsbApiSymbols[0], api.init);
    bindSymbol(handle, kUsbApiSymbols[1], api.findBusses);
    bindSymbol(handle, kUsbApiSymbols[2], api.findDevices);
    bindSymbol(handle, kUsbApiSymbols[3], api.getBusses);
    bindSymbol(handle, kUsbApiSymbols[4], api.open);
    bindSymbol(handle, kUsbApiSymbols[5], api.setConfiguration);
    bindSymbol(handle, kUsbApiSymbols[6], api.claimInterface);
    bindSymbol(handle, kUsbApiSymbols[7], api.releaseInterface);
    bindSymbol(handle, kUsbApiSymbols[8], api.close);
    bindSymbol(handle, kUsbApiSymbols[9], api.bulkWrite);
    bindSymbol(handle, kUsbApiSymbols[10], api.bulkRead);
    bindSymbol(handle, kUsbApiSymbols[11], api.interruptWrite);
    if (!api.complete()) {
        std::string missing;
        for (const char* name : kUsbApiSymbols) {
            if (!dlsym(handle, name))
                missing += std::string(missing.empty() ? "" : ", ") + name;
        }
        lib.error_ = "The USB library " + pathOrName + " lacks " + missing;
        dlclose(handle);
        return lib;
    }
    lib.handle_ = handle;
    lib.api_ = api;
    bindSymbol(handle, "nyra_sim_event_fd", lib.eventFd_);
    return lib;
}

UsbLibrary UsbLibrary::loadFor(const std::string& programDir) {
    if (const char* named = std::getenv(kLibraryVariable); named && *named)
        return loadFile(named);
    const std::string shim = programDir + "/" + kShimFileName;
    struct stat st {};
    if (stat(shim.c_str(), &st) == 0)
        return loadFile(shim);
    return loadFile(kSystemLibrary);
}

int UsbLibrary::eventFd() const {
    return eventFd_ ? eventFd_() : -1;
}

std::string executableDirectory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path())
        return ".";
    return exe.parent_path().string();
}

}  // namespace nyra
