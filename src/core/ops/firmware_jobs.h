// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "app/text_table.h"
#include "ops/job_context.h"
#include "ui/frontend.h"
#include "ui/job_flags.h"
#include "ui/panel.h"
#include "ui/progress.h"

namespace nyra {

inline constexpr const char* kFirmwareFileFilter = "(*.nyr)|*.nyr||";
// Far above any programmer's firmware; a longer file is refused unread.
inline constexpr std::uint64_t kMaxFirmwareFileBytes = 16u << 20;

// What the upgrade job uses of whoever started it: the file and a bar.
class UpgradePort {
public:
    virtual ~UpgradePort() = default;
    virtual std::string path() const = 0;
    virtual void progress(int percent, const std::string& label) = 0;
};

// The firmware upgrade window without its widgets: the chosen file, the
// upgrade button and the bar the upgrade job drives from the worker.
class UpgradeWindow final : public UpgradePort {
public:
    UpgradeWindow(Frontend& frontend, const TextTable& texts, const JobFlags& flags);

    Panel& panel() { return panel_; }
    const Progress& progressBar() const { return progress_; }
    std::string title() const;

    // A new window: captions, no file, the upgrade button disabled, the bar at 0.
    void open();
    // The open button.
    void chooseFile();
    // The upgrade button starts the job unless an upgrade runs.
    bool upgradeAllowed() const { return !flags_.upgradeRunning.load(); }
    // Closing is ignored while an upgrade runs.
    bool closeAllowed() const { return !flags_.upgradeRunning.load(); }

    std::string path() const override { return panel_.text(ids::kUpgradePath); }
    void choose(const std::string& path);
    void progress(int percent, const std::string& label) override {
        progress_.setPosition(percent, label);
    }

private:
    Frontend& frontend_;
    const TextTable& texts_;
    const JobFlags& flags_;
    Panel panel_;
    Progress progress_{panel_, ids::kUpgradeProgress};
};

// Job 18: the firmware version and serial number in a box.
std::uint8_t showFirmwareVersion(Roles<LinkRole, ReportRole, ControlRole> context);
// Job 21: the chosen file written through the programmer's boot loader.
std::uint8_t upgradeFirmware(Roles<LinkRole, ReportRole, ControlRole, ClockRole> context,
                             UpgradePort& window);

}  // namespace nyra
