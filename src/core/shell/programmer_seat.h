// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "device/link.h"
#include "device/programmer_lock.h"
#include "device/usb_api.h"
#include "ops/programmer_list.h"

namespace nyra {

// The texts of the window's programmer choice, in the text table's language.
struct ProgrammerSeatTexts {
    std::string menu;     // the Settings menu item
    std::string title;    // the chooser's caption
    std::string prompt;   // above the list
    std::string chosen;   // status line: "... 100002" follows
    std::string inUse;    // "programmer X is in use by Y" ends with this
    std::string onlyOne;  // the item while one programmer (or none) is connected
};
ProgrammerSeatTexts programmerSeatTexts(const TextTable& texts);

// Which programmer the window drives when several are connected, remembered
// for the user in a file of its own (never the switches file), and locked so
// that no other process drives it meanwhile. With one connected nothing
// changes: the link takes the first one found and nothing is asked.
class ProgrammerSeat {
public:
    ProgrammerSeat(const UsbApi& usb, Link& link) : usb_(usb), link_(link) {}

    // Only the window's seat remembers and locks; kvq-cli and the tests pin
    // their link themselves.
    void enable() { enabled_ = true; }
    bool enabled() const { return enabled_; }

    // Before the first job, and on a device change when the window holds no
    // programmer or its one is gone from where it was: the remembered
    // programmer when it is connected among several, and a lock on the one
    // the window drives. "" or why the window cannot drive it (held by
    // another process).
    std::string take();
    // A programmer is locked for the window.
    bool holding() const { return driven_.has_value(); }
    // The locked one is on the bus where it was taken (no traffic: a bus scan).
    bool drivenPresent() const;
    // More than one programmer on the bus (no traffic: a bus scan).
    bool several() const;
    // The programmers as they answer now, and the one the window drives.
    std::vector<ProgrammerEntry> list() const;
    std::optional<std::size_t> current(const std::vector<ProgrammerEntry>& entries) const;
    // Drives entry from now on, remembered for the next start. "" or why not.
    std::string choose(const ProgrammerEntry& entry);
    // The serial number of the programmer the window locked, "" when none is
    // known (none at start, or one in its boot loader).
    std::string drivenSerial() const;

    // $XDG_CONFIG_HOME/kvq-nyra/programmer (else ~/.config/...): its serial number.
    static std::string rememberedPath();
    static std::optional<std::uint32_t> remembered();

private:
    std::string lockOn(const ProgrammerEntry& entry);

    const UsbApi& usb_;
    Link& link_;
    bool enabled_ = false;
    ProgrammerLock lock_;
    std::optional<ProgrammerEntry> driven_;
};

// "1: 100001, V3.1", as the chooser lists a programmer.
std::string programmerItem(const ProgrammerEntry& entry);

}  // namespace nyra
