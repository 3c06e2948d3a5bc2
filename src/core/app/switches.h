// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "app/switch_ids.h"

// The five on/off switches (sounds, auto-identify, the three batch steps).
// The switches are the check marks of their menu items; the settings file
// "umod2.dll" in the program folder only carries them from one run to the
// next, one byte each (0 off, anything else on; a missing byte is on).
namespace nyra {

using ids::kCmdAutoIdentify;
using ids::kCmdBatchErase;
using ids::kCmdBatchProgram;
using ids::kCmdBatchVerify;
using ids::kCmdSounds;

// Menu item state bits, with the values of the Windows menu flags.
constexpr unsigned kMenuChecked = 0x8;
constexpr unsigned kMenuGreyed = 0x1 | 0x2;

// What the switches need of the menu.
class MenuCheckState {
public:
    virtual ~MenuCheckState() = default;
    virtual unsigned menuState(int commandId) const = 0;
    virtual void setChecked(int commandId, bool checked) = 0;
};

// Menu item states kept in memory; thread-safe, since the worker thread reads
// the sound and auto-identify switches.
class MenuCheckMarks : public MenuCheckState {
public:
    unsigned menuState(int commandId) const override;
    void setChecked(int commandId, bool checked) override;
    void setState(int commandId, unsigned state);
    bool isChecked(int commandId) const;

private:
    mutable std::mutex mutex_;
    std::map<int, unsigned> states_;
};

class Switches {
public:
    static constexpr const char* kFileName = "umod2.dll";
    static constexpr int kFileBytes = 5;

    // "/" is added to a folder that does not end in one.
    Switches(const std::string& programFolder, MenuCheckState& menu);

    // Sets the five check marks from the file; when the file cannot be
    // opened, runs the sounds toggle once instead.
    void readAtStartup();

    // Each toggle acts only when its item is exactly checked (turns it off)
    // or has no state bit at all (turns it on); any other state, e.g. greyed,
    // does nothing. The check mark changes only after the new byte has been
    // stored. True when the switch was toggled and stored.
    bool toggleSounds();
    bool toggleAutoIdentify();
    // commandId 32821, 32822 or 32823 (bytes 2, 3, 4); other ids do nothing.
    bool toggleBatchStep(int commandId);

    const std::string& path() const { return path_; }

private:
    // The new value of the switch, or -1 when its menu state forbids a toggle.
    int newValue(int commandId) const;
    // Toggles the switch and stores it as byte index of the file.
    bool store(int commandId, std::size_t index);

    std::string path_;
    MenuCheckState& menu_;
};

}  // namespace nyra
