// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "ops/job_context.h"

// The jobs that read, write and check the chip. Each returns 1 on success and
// 0 otherwise; direct is true when the worker runs the job for its own button,
// false when the automatic sequence or batch mode runs it as a step.
namespace nyra {

// Job 13: the whole chip into the read image, which then becomes the data.
std::uint8_t readChip(DataJobRoles context);

// Job 1: the data file to the chip.
std::uint8_t programChip(DataJobRoles context, bool direct);
// The transfer itself, for the jobs that lock the controls themselves.
std::uint8_t streamFileToProgrammer(DataJobRoles context);

// Job 5.
std::uint8_t eraseChip(ChipJobRoles context, bool direct);
// Job 15: 1 when the chip is blank.
std::uint8_t blankCheckChip(ChipJobRoles context);
// Job 8: the chip read back and compared with the data file.
std::uint8_t verifyChip(DataJobRoles context, bool direct);

// Between erase and the next step: the programmer gets the chip's parameters again.
void interStepPause(Roles<LinkRole, ChipRole, ClockRole> context);
// Job 14: erase, program and verify.
std::uint8_t automaticSequence(DataJobRoles context);
// Job 35: the quad-enable setting of the selected chip.
std::uint8_t configureQuadEnable(ChipJobRoles context);

}  // namespace nyra
