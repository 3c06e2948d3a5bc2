// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <usb.h>

#include <array>
#include <cstdint>

namespace nyra::sim {

inline constexpr int kTopologySlots = 8;
inline constexpr int kRootHub = -2;

// The <usb.h> records of the simulated bus: one bus with its root hub and up
// to eight programmers. The records live as long as the topology, so a pointer
// the caller kept across a rescan never dangles; the lists change only in
// findBusses/findDevices, as with libusb 0.1.
class UsbTopology {
public:
    struct Attached {
        bool present = false;
        std::uint8_t devnum = 0;
    };

    UsbTopology();
    UsbTopology(const UsbTopology&) = delete;
    UsbTopology& operator=(const UsbTopology&) = delete;

    // Number of changes since the last scan, as libusb 0.1 counts them.
    int findBusses();
    int findDevices(const std::array<Attached, kTopologySlots>& attached);
    usb_bus* busses() { return busListed_ ? &bus_ : nullptr; }

    // The programmer slot of a device record, kRootHub, or -1 when the record
    // is not one of ours.
    int slotOf(const struct usb_device* dev) const;
    // The devnum the record had at the last scan (0 when not listed).
    std::uint8_t listedDevnum(int slot) const;

private:
    void relink();

    usb_bus bus_{};
    struct usb_device hub_ {};
    std::array<struct usb_device, kTopologySlots> programmers_{};
    std::array<Attached, kTopologySlots> listed_{};
    bool busListed_ = false;
    bool hubListed_ = false;
    usb_endpoint_descriptor endpoints_[3]{};
    usb_interface_descriptor altsetting_{};
    usb_interface interface_{};
    usb_config_descriptor config_{};
};

}  // namespace nyra::sim
