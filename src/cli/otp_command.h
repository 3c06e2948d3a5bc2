// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/clock.h"
#include "device/usb_api.h"

namespace nyra::cli {

struct OtpRequest {
    std::string action;  // detect, read, program, verify, blank
    std::string file;    // read: where the area goes; program, verify: the image
    bool lock = false;   // program: lock the area afterwards (needs the explicit confirmation)
};

// False with a reason on a usage error; --lock needs --yes-lock-forever.
bool parseOtpArguments(const std::vector<std::string>& words, OtpRequest& request,
                       std::string& error);

// Runs the OTP job as the OTP window's button would, printing the OTP log on
// out. 0 when it succeeded, kExitJobFailed otherwise.
int runOtp(const std::string& programFolder, const OtpRequest& request, const UsbApi& usb,
           Clock& clock, std::ostream& out, std::ostream& err);

}  // namespace nyra::cli
