// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>

#include "app/clock.h"
#include "device/usb_api.h"

namespace nyra::cli {

// kvq-cli firmware: the firmware-version job; its box (serial number and
// version) on out, the program's other texts on err. Exit 0, or the job's
// failure status.
int firmwareInfo(const std::string& programFolder, const UsbApi& usb, Clock& clock,
                 std::ostream& out, std::ostream& err);

// kvq-cli upgrade FILE: the upgrade job with FILE chosen in its window; its
// progress on out, its texts on err.
int upgrade(const std::string& programFolder, const std::string& file, const UsbApi& usb,
            Clock& clock, bool terminal, std::ostream& out, std::ostream& err);

}  // namespace nyra::cli
