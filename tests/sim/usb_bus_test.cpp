// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sim/usb_binding.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::frame;
using testing::Link;
using testing::programmers;

SimulatorOptions withChip(int count, VirtualTimeSource* time) {
    SimulatorOptions o;
    o.programmers = count;
    o.chip = builtinChip("W25Q64FV");
    o.time = time;
    return o;
}

std::uint32_t serialOf(Link& link) {
    link.send(frame(22));
    const auto r = link.read(7, 100);
    if (r.size() != 7)
        return 0;
    return (std::uint32_t{r[4]} << 16) | (std::uint32_t{r[5]} << 8) | r[6];
}

class UsbBus : public ::testing::Test {
protected:
    VirtualTimeSource time;
};

TEST_F(UsbBus, WalkShowsHubThenProgrammerWithItsIdentity) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    EXPECT_EQ(usb::get_busses(), nullptr);  // nothing scanned yet
    usb::init();
    EXPECT_EQ(usb::find_busses(), 1);
    EXPECT_EQ(usb::find_devices(), 2);
    usb_bus* bus = usb::get_busses();
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->next, nullptr);
    struct usb_device* hub = bus->devices;
    ASSERT_NE(hub, nullptr);
    EXPECT_NE(hub->descriptor.idVendor, kProgrammerVendorId);
    struct usb_device* dev = hub->next;
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->next, nullptr);
    EXPECT_EQ(dev->prev, hub);
    EXPECT_EQ(dev->bus, bus);
    const unsigned vendor = dev->descriptor.idVendor;
    const unsigned product = dev->descriptor.idProduct;
    EXPECT_EQ(vendor, 0x0716u);
    EXPECT_EQ(product, 0x5018u);
    ASSERT_NE(dev->config, nullptr);
    EXPECT_EQ(dev->config->bConfigurationValue, 1);
    const usb_interface_descriptor& alt = dev->config->interface->altsetting[0];
    ASSERT_EQ(alt.bNumEndpoints, 3);
    EXPECT_EQ(alt.endpoint[0].bEndpointAddress, 0x01);
    EXPECT_EQ(alt.endpoint[1].bEndpointAddress, 0x02);
    EXPECT_EQ(alt.endpoint[2].bEndpointAddress, 0x83);
}

TEST_F(UsbBus, FindFunctionsCountChangesNotDevices) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    EXPECT_EQ(usb::find_devices(), 0);  // no bus scanned yet
    EXPECT_EQ(usb::find_busses(), 1);
    EXPECT_EQ(usb::find_busses(), 0);
    EXPECT_EQ(usb::find_devices(), 2);
    EXPECT_EQ(usb::find_devices(), 0);
    sim.plug(1);
    EXPECT_EQ(usb::find_devices(), 1);
    sim.unplug(0);
    sim.plug(0);  // gone and back between two scans
    EXPECT_EQ(usb::find_devices(), 2);
    sim.unplug(0);
    sim.unplug(1);
    EXPECT_EQ(usb::find_devices(), 2);
    EXPECT_TRUE(programmers().empty());
}

TEST_F(UsbBus, ListStaysUnchangedUntilTheNextScan) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    usb::find_busses();
    usb::find_devices();
    sim.unplug(0);
    ASSERT_EQ(programmers().size(), 1u);  // the caller's walk is not pulled away
    struct usb_device* stale = programmers()[0];
    EXPECT_EQ(usb::open(stale), nullptr);
    sim.plug(0);
    EXPECT_EQ(usb::open(stale), nullptr);  // a new plug is a new device
    usb::find_devices();
    usb_dev_handle* h = usb::open(programmers()[0]);
    EXPECT_NE(h, nullptr);
    usb::close(h);
}

TEST_F(UsbBus, TwoProgrammersComeInSlotOrderWithTheirOwnSerials) {
    Simulator sim(withChip(2, &time));
    sim.setSerial(0, 111111);
    sim.setSerial(1, 222222);
    usb::ScopedBinding bind(sim);
    {
        Link first(0);
        ASSERT_TRUE(first.ok());
        EXPECT_EQ(serialOf(first), 111111u);
        Link second(1);
        ASSERT_TRUE(second.ok());
        EXPECT_EQ(serialOf(second), 222222u);
        // Each has its own IN queue.
        first.send(frame(18));
        EXPECT_EQ(second.read(1, 10).size(), 0u);
        EXPECT_EQ(first.read(1, 10).size(), 1u);
    }
    sim.unplug(0);
    Link remaining(0);
    ASSERT_TRUE(remaining.ok());
    EXPECT_EQ(serialOf(remaining), 222222u);
}

TEST_F(UsbBus, UnplugKillsOpenHandles) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    Link link;
    ASSERT_TRUE(link.ok());
    sim.unplug(0);
    EXPECT_EQ(link.send(frame(0)), kErrNoDevice);
    link.read(64, 100);
    EXPECT_EQ(link.lastResult, kErrNoDevice);
    EXPECT_EQ(usb::bulk_write(link.handle(), 1, "x", 1, 100), kErrNoDevice);
    sim.plug(0);
    EXPECT_EQ(link.send(frame(0)), kErrNoDevice);  // the old handle stays dead
    Link fresh;
    EXPECT_TRUE(fresh.ok());
}

TEST_F(UsbBus, BadHandlesAndArgumentsAreRefused) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    usb::find_busses();
    usb::find_devices();
    EXPECT_EQ(usb::open(usb::get_busses()->devices), nullptr);  // the root hub
    struct usb_device foreign {};
    EXPECT_EQ(usb::open(&foreign), nullptr);
    char buf[64];
    EXPECT_EQ(usb::bulk_read(nullptr, 0x83, buf, 64, 10), kErrInvalid);
    usb_dev_handle* h = usb::open(programmers()[0]);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(usb::set_configuration(h, 2), kErrInvalid);
    EXPECT_EQ(usb::set_configuration(h, 1), 0);
    EXPECT_EQ(usb::claim_interface(h, 1), kErrInvalid);
    EXPECT_EQ(usb::release_interface(h, 0), kErrInvalid);  // not claimed
    EXPECT_EQ(usb::claim_interface(h, 0), 0);
    EXPECT_EQ(usb::bulk_write(h, 2, buf, 4, 10), kErrInvalid);
    EXPECT_EQ(usb::interrupt_write(h, 1, buf, 4, 10), kErrInvalid);
    EXPECT_EQ(usb::bulk_read(h, 0x83, buf, -1, 10), kErrInvalid);
    EXPECT_EQ(usb::bulk_read(h, 0x83, nullptr, 4, 10), kErrInvalid);
    EXPECT_EQ(usb::bulk_read(h, 0x81, buf, 4, 10), kErrInvalid);
    EXPECT_EQ(usb::bulk_read(h, 3, buf, 4, 10), kErrTimeout);  // libusb adds the IN bit
    EXPECT_EQ(usb::close(h), 0);
    EXPECT_EQ(usb::close(h), kErrInvalid);
    EXPECT_EQ(usb::bulk_read(h, 0x83, buf, 4, 10), kErrInvalid);
}

TEST_F(UsbBus, SecondHandleCannotClaimAClaimedInterface) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    Link link;
    ASSERT_TRUE(link.ok());
    usb_dev_handle* other = usb::open(programmers()[0]);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(usb::claim_interface(other, 0), kErrBusy);
    EXPECT_EQ(usb::release_interface(link.handle(), 0), 0);
    EXPECT_EQ(usb::claim_interface(other, 0), 0);
    usb::close(other);
}

TEST_F(UsbBus, UnboundFunctionsFindNothing) {
    usb::bind(nullptr);
    usb::init();
    EXPECT_EQ(usb::find_busses(), 0);
    EXPECT_EQ(usb::find_devices(), 0);
    EXPECT_EQ(usb::get_busses(), nullptr);
    EXPECT_EQ(usb::open(nullptr), nullptr);
    char buf[4];
    EXPECT_EQ(usb::bulk_read(nullptr, 0x83, buf, 4, 10), kErrNoDevice);
}

TEST_F(UsbBus, ApiTableCallsTheBoundSimulator) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    const UsbApi api = usb::api();
    ASSERT_TRUE(api.complete());
    api.init();
    EXPECT_EQ(api.findBusses(), 1);
    EXPECT_EQ(api.findDevices(), 2);
    usb_dev_handle* h = api.open(api.getBusses()->devices->next);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(api.setConfiguration(h, 1), 0);
    EXPECT_EQ(api.claimInterface(h, 0), 0);
    const auto f = frame(18);
    EXPECT_EQ(api.interruptWrite(h, 2, reinterpret_cast<const char*>(f.data()), 20, 100), 20);
    char version = 0;
    EXPECT_EQ(api.bulkRead(h, 0x83, &version, 1, 100), 1);
    EXPECT_EQ(static_cast<std::uint8_t>(version), 0x21);
    EXPECT_EQ(api.bulkWrite(h, 1, "ab", 2, 100), 2);
    EXPECT_EQ(api.releaseInterface(h, 0), 0);
    EXPECT_EQ(api.close(h), 0);
}

TEST_F(UsbBus, TransferLogRecordsEveryCallPerProgrammer) {
    Simulator sim(withChip(1, &time));
    usb::ScopedBinding bind(sim);
    {
        Link link;
        ASSERT_TRUE(link.ok());
        link.send(frame(18), 100);
        link.read(64, 100);
    }
    const auto all = sim.transferLog();
    std::vector<UsbCall> calls;
    for (const auto& r : all)
        calls.push_back(r.call);
    const std::vector<UsbCall> expected{UsbCall::Init,           UsbCall::FindBusses,
                                        UsbCall::FindDevices,    UsbCall::GetBusses,
                                        UsbCall::Open,           UsbCall::SetConfiguration,
                                        UsbCall::ClaimInterface, UsbCall::InterruptWrite,
                                        UsbCall::BulkRead,       UsbCall::ReleaseInterface,
                                        UsbCall::Close};
    EXPECT_EQ(calls, expected);
    const auto mine = sim.transferLog(0);
    EXPECT_EQ(mine.size(), 7u);  // the bus-level calls carry no programmer
    const TransferRecord& write = mine[3];
    EXPECT_EQ(write.endpoint, 2);
    EXPECT_EQ(write.size, 20);
    EXPECT_EQ(write.timeout, 100);
    EXPECT_EQ(write.result, 20);
    EXPECT_EQ(write.data.size(), 20u);
    const TransferRecord& read = mine[4];
    EXPECT_EQ(read.endpoint, 0x83);
    EXPECT_EQ(read.size, 64);
    EXPECT_EQ(read.result, 1);
    EXPECT_EQ(read.data, std::vector<std::uint8_t>{0x21});
    ASSERT_EQ(sim.frames(0).size(), 1u);
    EXPECT_EQ(sim.frames(0)[0], frame(18));
    EXPECT_EQ(usbCallName(UsbCall::BulkRead), "usb_bulk_read");
}

TEST_F(UsbBus, ListenerHearsPlugUnplugAndChipChanges) {
    Simulator sim(withChip(1, &time));
    std::vector<SimEvent> events;
    sim.setEventListener([&](const SimEvent& e) { events.push_back(e); });
    sim.unplug(0);
    sim.unplug(0);  // no change, no event
    sim.plug(1);
    sim.removeChip(0);
    ASSERT_TRUE(sim.insertChip(0, *builtinChip("AT24C02")));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, SimEventKind::Unplugged);
    EXPECT_EQ(events[1].kind, SimEventKind::Plugged);
    EXPECT_EQ(events[1].programmer, 1);
    EXPECT_EQ(events[2].kind, SimEventKind::ChipChanged);
    EXPECT_EQ(events[3].kind, SimEventKind::ChipChanged);
    std::string error;
    EXPECT_FALSE(sim.insertChip(0, *builtinChip("AT24C02"), {}, &error));  // occupied
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(events.size(), 4u);
}

}  // namespace
}  // namespace nyra::sim
