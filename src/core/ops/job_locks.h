// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

#include "ui/panel.h"

namespace nyra {

// What a job locks while it runs: buttons (with the menu commands of the same
// id) and further menu commands. The job's own button stays usable as its stop button.
struct JobLocks {
    std::uint8_t job;
    std::span<const int> buttons;
    std::span<const int> menuCommands;
};

// The locks of a job code, or nullptr for jobs that lock nothing.
const JobLocks* jobLocks(std::uint8_t job);

void lockControls(Panel& panel, std::uint8_t job);
// Enables what the job locked; the file fill command only in edit mode, and
// save-as and find always.
void unlockControls(Panel& panel, std::uint8_t job, bool editMode);

}  // namespace nyra
