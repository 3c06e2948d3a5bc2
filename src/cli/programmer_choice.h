// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/programmer_lock.h"
#include "device/usb_api.h"
#include "ops/programmer_list.h"

namespace nyra::cli {

// A programmer this process drives, locked against every other process.
struct ChosenProgrammer {
    ProgrammerEntry entry;
    ProgrammerLock lock;
    std::string name() const;  // its serial number, or its place while in its boot loader
};

// The programmer a --programmer word names (the first one on the bus without
// one), locked. 0, or kExitNoProgrammer with the reason on err: not
// connected (named) or driven by another process. With no word and no
// programmer at all, 0 and nothing chosen: the command finds it missing.
int chooseProgrammer(const UsbApi& usb, const std::optional<std::string>& word,
                     std::optional<ChosenProgrammer>& chosen, std::ostream& err);

// Several at once: "all" (every one on the bus) or serial numbers and
// positions separated by commas; each locked. 0, kExitUsage, or kExitNoProgrammer.
int chooseProgrammers(const UsbApi& usb, const std::string& list,
                      std::vector<ChosenProgrammer>& chosen, std::ostream& err);

// Where this run's commands open their programmer ("" the first found).
std::string& chosenBusPath();

// `kvq-cli programmers [--json]`: the programmers on the bus, one per line.
int listCommand(const UsbApi& usb, bool json, std::ostream& out);

}  // namespace nyra::cli
