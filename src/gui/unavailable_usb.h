// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device/usb_api.h"

namespace nyra::gui {

// The USB table the program runs with when no USB library could be loaded:
// it finds no bus and every transfer fails, so the link reports the missing
// programmer as usual.
const UsbApi& unavailableUsbApi();

}  // namespace nyra::gui
