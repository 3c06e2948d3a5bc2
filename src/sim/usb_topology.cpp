// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/usb_topology.h"

#include <cstdio>

#include "device/usb_api.h"

namespace nyra::sim {

namespace {

constexpr std::uint16_t kHubVendor = 0x1D6B;  // Linux root hub
constexpr std::uint16_t kHubProduct = 0x0001;

void describe(struct usb_device& dev, std::uint16_t vendor, std::uint16_t product,
              std::uint8_t cls) {
    // The descriptor is packed: assign fields, never take their address.
    dev.descriptor.bLength = USB_DT_DEVICE_SIZE;
    dev.descriptor.bDescriptorType = USB_DT_DEVICE;
    dev.descriptor.bcdUSB = 0x0110;
    dev.descriptor.bDeviceClass = cls;
    dev.descriptor.bDeviceSubClass = 0;
    dev.descriptor.bDeviceProtocol = 0;
    dev.descriptor.bMaxPacketSize0 = 64;
    dev.descriptor.idVendor = vendor;
    dev.descriptor.idProduct = product;
    dev.descriptor.bcdDevice = 0x0100;
    dev.descriptor.iManufacturer = 1;
    dev.descriptor.iProduct = 2;
    dev.descriptor.iSerialNumber = 3;
    dev.descriptor.bNumConfigurations = 1;
}

void setEndpoint(usb_endpoint_descriptor& ep, std::uint8_t address, std::uint8_t type) {
    ep.bLength = USB_DT_ENDPOINT_SIZE;
    ep.bDescriptorType = USB_DT_ENDPOINT;
    ep.bEndpointAddress = address;
    ep.bmAttributes = type;
    ep.wMaxPacketSize = 64;
    ep.bInterval = type == USB_ENDPOINT_TYPE_INTERRUPT ? 1 : 0;
}

}  // namespace

UsbTopology::UsbTopology() {
    std::snprintf(bus_.dirname, sizeof bus_.dirname, "001");
    bus_.location = 1;
    describe(hub_, kHubVendor, kHubProduct, USB_CLASS_HUB);
    hub_.bus = &bus_;
    hub_.devnum = 1;
    std::snprintf(hub_.filename, sizeof hub_.filename, "001");

    setEndpoint(endpoints_[0], static_cast<std::uint8_t>(kStreamEndpoint), USB_ENDPOINT_TYPE_BULK);
    setEndpoint(endpoints_[1], static_cast<std::uint8_t>(kFrameEndpoint),
                USB_ENDPOINT_TYPE_INTERRUPT);
    setEndpoint(endpoints_[2], static_cast<std::uint8_t>(kReplyEndpoint), USB_ENDPOINT_TYPE_BULK);
    altsetting_.bLength = USB_DT_INTERFACE_SIZE;
    altsetting_.bDescriptorType = USB_DT_INTERFACE;
    altsetting_.bInterfaceNumber = static_cast<std::uint8_t>(kProgrammerInterface);
    altsetting_.bNumEndpoints = 3;
    altsetting_.bInterfaceClass = USB_CLASS_VENDOR_SPEC;
    altsetting_.endpoint = endpoints_;
    interface_.altsetting = &altsetting_;
    interface_.num_altsetting = 1;
    config_.bLength = USB_DT_CONFIG_SIZE;
    config_.bDescriptorType = USB_DT_CONFIG;
    config_.wTotalLength = USB_DT_CONFIG_SIZE + USB_DT_INTERFACE_SIZE + 3 * USB_DT_ENDPOINT_SIZE;
    config_.bNumInterfaces = 1;
    config_.bConfigurationValue = static_cast<std::uint8_t>(kProgrammerConfiguration);
    config_.bmAttributes = 0x80;
    config_.MaxPower = 50;
    config_.interface = &interface_;

    for (auto& dev : programmers_) {
        describe(dev, kProgrammerVendorId, kProgrammerProductId, 0);
        dev.bus = &bus_;
        dev.config = &config_;
    }
}

int UsbTopology::findBusses() {
    if (busListed_)
        return 0;
    busListed_ = true;
    return 1;
}

int UsbTopology::findDevices(const std::array<Attached, kTopologySlots>& attached) {
    if (!busListed_)
        return 0;
    int changes = 0;
    if (!hubListed_) {
        hubListed_ = true;
        ++changes;
    }
    for (int i = 0; i < kTopologySlots; ++i) {
        const Attached& now = attached[i];
        const Attached& before = listed_[i];
        if (now.present != before.present) {
            ++changes;
        } else if (now.present && now.devnum != before.devnum) {
            changes += 2;  // unplugged and plugged again between two scans
        }
        listed_[i] = now.present ? now : Attached{};
    }
    relink();
    return changes;
}

void UsbTopology::relink() {
    struct usb_device* previous = &hub_;
    hub_.prev = nullptr;
    hub_.next = nullptr;
    for (int i = 0; i < kTopologySlots; ++i) {
        struct usb_device& dev = programmers_[i];
        if (!listed_[i].present)
            continue;
        dev.devnum = listed_[i].devnum;
        std::snprintf(dev.filename, sizeof dev.filename, "%03u", unsigned{dev.devnum});
        dev.prev = previous;
        dev.next = nullptr;
        previous->next = &dev;
        previous = &dev;
    }
    bus_.devices = &hub_;
    bus_.root_dev = &hub_;
}

int UsbTopology::slotOf(const struct usb_device* dev) const {
    if (dev == &hub_)
        return kRootHub;
    for (int i = 0; i < kTopologySlots; ++i) {
        if (dev == &programmers_[i])
            return i;
    }
    return -1;
}

std::uint8_t UsbTopology::listedDevnum(int slot) const {
    if (slot < 0 || slot >= kTopologySlots || !listed_[slot].present)
        return 0;
    return listed_[slot].devnum;
}

}  // namespace nyra::sim
