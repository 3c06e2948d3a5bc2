// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "ops/job_context.h"

// The jobs that read, write and check the chip. Each returns 1 on success and
// 0 otherwise; direct is true when the worker runs the job for its own button,
// false when the automatic sequence or batch mode runs it as a step.
namespace nyra {

// Job 13: the whole chip into the read image, which then becomes the data.
std::uint8_t readChip(JobContext& context);

// Job 1: the data file to the chip.
std::uint8_t programChip(JobContext& context, bool direct);
// The transfer itself, for the jobs that lock the controls themselves.
std::uint8_t streamFileToProgrammer(JobContext& context);

// Job 5.
std::uint8_t eraseChip(JobContext& context, bool direct);
// Job 15: 1 when the chip is blank.
std::uint8_t blankCheckChip(JobContext& context);
// Job 8: the chip read back and compared with the data file.
std::uint8_t verifyChip(JobContext& context, bool direct);

// Between erase and the next step: the programmer gets the chip's parameters again.
void interStepPause(JobContext& context);
// Job 14: erase, program and verify.
std::uint8_t automaticSequence(JobContext& context);
// Job 35: the quad-enable setting of the selected chip.
std::uint8_t configureQuadEnable(JobContext& context);

}  // namespace nyra
