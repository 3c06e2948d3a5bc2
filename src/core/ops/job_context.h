// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <type_traits>

#include "app/clock.h"
#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_selection.h"
#include "device/command_channel.h"
#include "device/worker.h"
#include "ops/identify_record.h"
#include "ui/frontend.h"
#include "ui/ids.h"
#include "ui/job_flags.h"
#include "ui/operation_log.h"
#include "ui/panel.h"
#include "ui/progress.h"
#include "ui/status_line.h"

// What a chip job may use of the main window, in roles. A job names the roles
// it needs in its signature, so it can reach nothing else.
namespace nyra {

// The link to the programmer, its command channel and the worker running the job.
struct LinkRole {
    CommandChannel& channel;
    WorkerShared& worker;

    Link& link() const { return channel.link(); }
    std::uint8_t jobCode() const { return worker.jobCode.load(); }
};

// What a job tells the person at the desk: status line, log, progress, message boxes.
struct ReportRole {
    StatusLine& status;
    OperationLog& log;
    Progress& progress;
    const TextTable& texts;
    Frontend& frontend;

    const std::string& text(TextKey key) const { return texts.text(key); }
    void alert(TextKey key, bool beep = false) const {
        status.show(text(key), StatusKind::Alert, beep);
    }
    void normal(TextKey key) const { status.show(text(key), StatusKind::Normal, false); }
    // A message box with the caption itext 9.
    void box(const std::string& message, BoxIcon icon) const {
        frontend.messageBox(message, text(itext(9)), icon, BoxButtons::Ok);
    }
};

// The data file, the buffer holding it and the read image.
struct DataRole {
    LoadedFile& loadedFile;
    DataBuffer& data;
    // u_mod0.dll: what the read job received from the chip.
    std::string readImagePath;
    // Loads a file as the current data, as the program's own choice; shownAs
    // names it on the window when it is a copy of the user's document.
    std::function<bool(const std::string& path, const std::string& shownAs)> loadData;
};

// The chip selection with its parameter block, the catalogue and the last identification.
struct ChipRole {
    ChipSelection& selection;
    const ChipCatalogue& catalogue;
    IdentifyRecord& identified;
};

// The window's controls and menu switches, the shared flags and the locks on them.
struct ControlRole {
    Panel& panel;
    JobFlags& flags;
    std::string finishSoundPath;
    std::string deleteSoundPath;
    // Switches edit mode off as its menu command does, with its status.
    std::function<void()> leaveEditMode;
    // Set while a batch cycle runs its steps: an identity that is neither in
    // the catalogue nor a family's state code stops the chip unwritten.
    bool knownChipOnly = false;

    bool autoIdentifyOn() const { return panel.menuChecked(ids::kCmdAutoIdentify); }
    bool soundOn() const { return panel.menuChecked(ids::kCmdSounds); }
    bool editMode() const { return panel.menuChecked(ids::kCmdEditMode); }
};

struct ClockRole {
    Clock& clock;
};

// The roles one job uses, taken from anything that has them all (the whole
// context or a wider set of roles).
template <class... R>
struct Roles : R... {
    template <class Whole>
    requires(!std::is_same_v<Whole, Roles> && (std::is_base_of_v<R, Whole> && ...))
        Roles(const Whole& whole)  // NOLINT(google-explicit-constructor): narrowing is the point
        : R(static_cast<const R&>(whole))... {}
};

// A job that talks to the chip but leaves the data files alone.
using ChipJobRoles = Roles<LinkRole, ReportRole, ChipRole, ControlRole, ClockRole>;
// A job that writes, compares or replaces the data file.
using DataJobRoles = Roles<LinkRole, ReportRole, DataRole, ChipRole, ControlRole, ClockRole>;

// All roles, composed by the application's state.
struct JobContext : LinkRole, ReportRole, DataRole, ChipRole, ControlRole, ClockRole {};

}  // namespace nyra
