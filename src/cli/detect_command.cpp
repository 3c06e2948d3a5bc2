// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect_command.h"

#include "catalogue/chip_parameters.h"
#include "console_frontend.h"
#include "console_program.h"
#include "ops/identify.h"
#include "shell/app_state.h"
#include "status_echo.h"
#include "ui/ids.h"

namespace nyra::cli {

int detectExitStatus(const IdentifyOutcome& outcome) {
    switch (outcome.result) {
        case kIdentifyMatched:
            return kExitChipFound;
        case kIdentifyNoMatch:
            return namesChipFamily(outcome.identity) ? kExitFamilyOnly : kExitUnknownId;
        case kIdentifyNoProgrammer:
            return kExitNoProgrammer;
        default:
            return kExitNoAnswer;
    }
}

std::string chipLine(const ChipRecord& record) {
    // The size the selection computes for the record, so the text matches the window's.
    const std::string capacity =
        capacityText(record.capacity, chipSizeFromCapacity(record.capacity));
    return record.type + " : " + record.manufacturer + " : " + record.device + " : " + capacity;
}

int detect(const std::string& programFolder, const UsbApi& usb, Clock& clock, std::ostream& out,
           std::ostream& err) {
    ConsoleFrontend console(err);
    // Start-up runs the quiet identification (job 7) first; the detect job
    // comes after it, as a press of the button would.
    ConsoleProgram program(programFolder, usb, clock, console);
    AppState& state = program.state();
    // A detect job that never ran must not report what start-up found.
    state.identified().store({});
    state.startJob(job::kFullIdentify);
    state.worker().waitUntilIdle();
    const IdentifyOutcome outcome = state.identified().last();

    if (outcome.result == kIdentifyMatched) {
        ChipSelection& selection = state.selection();
        out << selection.typeList().currentText() << " : "
            << selection.manufacturerList().currentText() << " : "
            << selection.deviceList().currentText() << " : " << selection.capacityText() << '\n';
        if (outcome.matches.size() > 1) {
            for (const std::uint32_t position : outcome.matches) {
                if (const ChipRecord* record = state.catalogue().record(position))
                    out << chipLine(*record) << '\n';
            }
        }
        out << std::flush;
    }
    return detectExitStatus(outcome);
}

}  // namespace nyra::cli
