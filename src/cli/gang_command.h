// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "app/clock.h"
#include "batch_command.h"
#include "device/usb_api.h"

namespace nyra::cli {

// The programmers of a gang did not all end alike: each one's status is
// on stderr ("programmer 100002: status 6").
inline constexpr int kExitGangMixed = 11;

// What the gang's exit status is, from each programmer's: the one status
// they share, 130 when Ctrl-C stopped them, else kExitGangMixed.
int gangStatus(const std::vector<int>& statuses, bool stopped);

// One series on several programmers at once (--programmers): a program
// state, link, worker and batch cycle for each, every chip's ID from the one
// series, lines on out and err headed by the programmer's serial number.
int runGang(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
            Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop);

}  // namespace nyra::cli
