// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include "app/clock.h"
#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_selection.h"
#include "device/command_channel.h"
#include "device/worker.h"
#include "ops/identify_record.h"
#include "ops/job_flags.h"
#include "ui/frontend.h"
#include "ui/ids.h"
#include "ui/operation_log.h"
#include "ui/panel.h"
#include "ui/progress.h"
#include "ui/status_line.h"

namespace nyra {

// What a chip job may use of the main window: the link and its command
// channel, the window's controls, status, log and progress, the shared
// flags, the chip selection, the person at the desk and the clock.
struct JobContext {
    CommandChannel& channel;
    Panel& panel;
    StatusLine& status;
    OperationLog& log;
    Progress& progress;
    JobFlags& flags;
    LoadedFile& loadedFile;
    DataBuffer& data;
    IdentifyRecord& identified;
    WorkerShared& worker;
    ChipSelection& selection;
    const ChipCatalogue& catalogue;
    const TextTable& texts;
    Frontend& frontend;
    Clock& clock;
    std::string finishSoundPath;
    std::string deleteSoundPath;
    // u_mod0.dll: what the read job received from the chip.
    std::string readImagePath;
    // Loads a file as the current data, as the program's own choice; shownAs
    // names it on the window when it is a copy of the user's document.
    std::function<bool(const std::string& path, const std::string& shownAs)> loadData;
    // Switches edit mode off as its menu command does, with its status.
    std::function<void()> leaveEditMode;
    // Set while a batch cycle runs its steps: an identity that is neither in
    // the catalogue nor a family's state code stops the chip unwritten.
    bool knownChipOnly = false;

    Link& link() const { return channel.link(); }
    const std::string& text(TextKey key) const { return texts.text(key); }
    std::uint8_t jobCode() const { return worker.jobCode.load(); }

    bool autoIdentifyOn() const { return panel.menuChecked(ids::kCmdAutoIdentify); }
    bool soundOn() const { return panel.menuChecked(ids::kCmdSounds); }
    bool editMode() const { return panel.menuChecked(ids::kCmdEditMode); }

    void alert(TextKey key, bool beep = false) const {
        status.show(text(key), StatusKind::Alert, beep);
    }
    void normal(TextKey key) const { status.show(text(key), StatusKind::Normal, false); }
    // A message box with the caption itext 9.
    void box(const std::string& message, BoxIcon icon) const {
        frontend.messageBox(message, text(itext(9)), icon, BoxButtons::Ok);
    }
};

}  // namespace nyra
