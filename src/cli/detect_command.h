// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>

#include "app/clock.h"
#include "catalogue/chip_record.h"
#include "device/usb_api.h"
#include "ops/identify_record.h"

namespace nyra::cli {

// Exit status of kvq-cli detect.
inline constexpr int kExitChipFound = 0;     // a catalogue record matched
inline constexpr int kExitNoUsbLibrary = 1;  // neither rwb_mod.so nor libusb could be loaded
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFamilyOnly = 3;    // a chip family answered, but no chip ID
inline constexpr int kExitUnknownId = 4;     // an ID the catalogue does not hold
inline constexpr int kExitNoAnswer = 5;      // no usable answer, a failed read, or blocked
inline constexpr int kExitNoProgrammer = 6;  // missing, cannot be opened, or refused

// The exit status for what an identification found.
int detectExitStatus(const IdentifyOutcome& outcome);

// "type : manufacturer : device : capacity", the capacity as the window shows it.
std::string chipLine(const ChipRecord& record);

// Runs the detect button's identification on the program state of the
// window, with the program folder's texts and catalogue. On out: the selected
// chip, and when several records share its ID every one of them after it.
// On err: the program's status and box texts. Returns the exit status.
int detect(const std::string& programFolder, const UsbApi& usb, Clock& clock, std::ostream& out,
           std::ostream& err);

}  // namespace nyra::cli
