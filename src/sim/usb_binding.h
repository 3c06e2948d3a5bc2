// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <usb.h>

#include "device/usb_api.h"
#include "sim/simulator.h"

// The libusb 0.1 functions, with their exact signatures, over a process-wide
// bound Simulator: what tests put into the program's UsbApi table. With no
// simulator bound they behave as a library that finds no bus.
// The names mirror libusb's so that a reader maps them at a glance.
namespace nyra::sim::usb {

// nullptr unbinds. The bound simulator must outlive the binding.
void bind(Simulator* simulator);
Simulator* bound();

// Binds for a scope and unbinds after.
class ScopedBinding {
public:
    explicit ScopedBinding(Simulator& simulator) { bind(&simulator); }
    ~ScopedBinding() { bind(nullptr); }
    ScopedBinding(const ScopedBinding&) = delete;
    ScopedBinding& operator=(const ScopedBinding&) = delete;
};

void init(void);
int find_busses(void);
int find_devices(void);
struct usb_bus* get_busses(void);
usb_dev_handle* open(struct usb_device* dev);
int set_configuration(usb_dev_handle* dev, int configuration);
int claim_interface(usb_dev_handle* dev, int interface);
int release_interface(usb_dev_handle* dev, int interface);
int close(usb_dev_handle* dev);
int bulk_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout);
int bulk_read(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout);
int interrupt_write(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout);

// The twelve functions above as the program's function table.
nyra::UsbApi api();

}  // namespace nyra::sim::usb
