// SPDX-License-Identifier: GPL-3.0-or-later
// rwb_mod.so: the demo device behind the libusb 0.1 ABI. The program loads it
// beside its executable exactly as it would load the real library.

#include <sys/eventfd.h>
#include <unistd.h>
#include <usb.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/config.h"
#include "sim/control.h"
#include "sim/control_server.h"
#include "sim/simulator.h"

#define NYRA_EXPORT __attribute__((visibility("default")))

// Declared by usb.h; the bus list of the last scan, as libusb 0.1 keeps it.
struct usb_bus* usb_busses = nullptr;

namespace {

using nyra::sim::Simulator;

class Instance {
public:
    Instance() {
        using namespace nyra::sim;
        eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        const SimConfig config = loadConfig();
        std::vector<std::string> warnings = config.warnings;
        sim_ = makeSimulator(config, warnings);
        const int fd = eventFd_;
        sim_->setEventListener([fd](const SimEvent&) {
            const std::uint64_t one = 1;
            if (fd >= 0) [[maybe_unused]]
                const ssize_t n = ::write(fd, &one, sizeof one);
        });
        control_ = std::make_unique<Control>(*sim_);
        control_->rememberImage(config.slots[0].chip, config.slots[0].image);
        for (int i = 0; i < kMaxProgrammers; ++i) {
            firmwareState_[i] = firmwareStatePath(config.slots[static_cast<std::size_t>(i)].image);
            startVersion_[i] = sim_->firmwareVersion(i);
        }
        const std::string path = controlPathOf(config);
        std::string error;
        if (!path.empty() &&
            !server_.start(
                path, [this](std::string_view line) { return control_->run(line); }, &error)) {
            warnings.push_back(error);
        }
        for (const auto& warning : warnings)
            std::fprintf(stderr, "kvq-sim: %s\n", warning.c_str());
    }

    Simulator& sim() { return *sim_; }
    int eventFd() const { return eventFd_; }

    ~Instance() {
        if (eventFd_ >= 0)
            ::close(eventFd_);
    }

    void shutdown() {
        server_.stop();
        sim_->flushImages();
        // An upgrade stays, as the chip's contents do. At exit the clock
        // behind status() may be gone already.
        for (int i = 0; i < nyra::sim::kMaxProgrammers; ++i) {
            const std::uint8_t version = sim_->firmwareVersion(i);
            if (version != startVersion_[i])
                nyra::sim::saveFirmwareState(firmwareState_[i], version);
        }
    }

private:
    int eventFd_ = -1;
    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<nyra::sim::Control> control_;
    nyra::sim::ControlServer server_;
    std::string firmwareState_[nyra::sim::kMaxProgrammers];
    std::uint8_t startVersion_[nyra::sim::kMaxProgrammers] = {};
};

std::atomic<Instance*> gCreated{nullptr};
std::atomic<int> gActiveCalls{0};
std::atomic<bool> gClosing{false};

Instance& instance() {
    static Instance* created = [] {
        auto* inst = new Instance();
        gCreated.store(inst);
        return inst;
    }();
    return *created;
}

// At exit or unload: stop the control thread, write the chip images, and free
// the simulator unless a program thread is still inside a call (then it stays).
struct ShutdownAtExit {
    ~ShutdownAtExit() {
        gClosing.store(true);
        Instance* inst = gCreated.load();
        if (!inst)
            return;
        inst->shutdown();
        if (gActiveCalls.load() == 0)
            delete inst;
    }
} gShutdownAtExit;

template <typename Result, typename Call>
Result guarded(Result failure, Call&& call) noexcept {
    gActiveCalls.fetch_add(1);
    Result result = failure;
    if (!gClosing.load()) {
        try {
            result = call(instance().sim());
        } catch (...) {
            result = failure;
        }
    }
    gActiveCalls.fetch_sub(1);
    return result;
}

}  // namespace

extern "C" {

NYRA_EXPORT void usb_init(void) {
    guarded(0, [](Simulator& sim) {
        sim.usbInit();
        return 0;
    });
}

NYRA_EXPORT int usb_find_busses(void) {
    return guarded(0, [](Simulator& sim) {
        const int changes = sim.usbFindBusses();
        usb_busses = sim.busList();
        return changes;
    });
}

NYRA_EXPORT int usb_find_devices(void) {
    return guarded(0, [](Simulator& sim) { return sim.usbFindDevices(); });
}

NYRA_EXPORT struct usb_bus* usb_get_busses(void) {
    return guarded<usb_bus*>(nullptr, [](Simulator& sim) {
        usb_busses = sim.usbGetBusses();
        return usb_busses;
    });
}

NYRA_EXPORT usb_dev_handle* usb_open(struct usb_device* dev) {
    return guarded<usb_dev_handle*>(nullptr, [dev](Simulator& sim) { return sim.usbOpen(dev); });
}

NYRA_EXPORT int usb_set_configuration(usb_dev_handle* dev, int configuration) {
    return guarded(-EIO,
                   [=](Simulator& sim) { return sim.usbSetConfiguration(dev, configuration); });
}

NYRA_EXPORT int usb_claim_interface(usb_dev_handle* dev, int interface) {
    return guarded(-EIO, [=](Simulator& sim) { return sim.usbClaimInterface(dev, interface); });
}

NYRA_EXPORT int usb_release_interface(usb_dev_handle* dev, int interface) {
    return guarded(-EIO, [=](Simulator& sim) { return sim.usbReleaseInterface(dev, interface); });
}

NYRA_EXPORT int usb_close(usb_dev_handle* dev) {
    return guarded(-EIO, [=](Simulator& sim) { return sim.usbClose(dev); });
}

NYRA_EXPORT int usb_bulk_write(usb_dev_handle* dev, int ep, const char* bytes, int size,
                               int timeout) {
    return guarded(-EIO,
                   [=](Simulator& sim) { return sim.usbBulkWrite(dev, ep, bytes, size, timeout); });
}

NYRA_EXPORT int usb_bulk_read(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) {
    return guarded(-EIO,
                   [=](Simulator& sim) { return sim.usbBulkRead(dev, ep, bytes, size, timeout); });
}

NYRA_EXPORT int usb_interrupt_write(usb_dev_handle* dev, int ep, const char* bytes, int size,
                                    int timeout) {
    return guarded(
        -EIO, [=](Simulator& sim) { return sim.usbInterruptWrite(dev, ep, bytes, size, timeout); });
}

// Becomes readable on every simulated plug, unplug and chip change; read it
// (8 bytes) to clear it.
NYRA_EXPORT int nyra_sim_event_fd(void) {
    return guarded(-1, [](Simulator&) { return instance().eventFd(); });
}

}  // extern "C"
