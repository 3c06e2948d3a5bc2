// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/job_context.h"

namespace nyra {

// What the socket holds, for a job on a chip the user named while
// identification is off for the job.
enum class SocketFit {
    Fits,          // a chip of the named chip's family answers
    NoProgrammer,  // the programmer is missing or cannot be opened
    NoChip,        // nothing answers: an empty socket reads as erased bytes
    OtherFamily,   // a chip of another family answers (said on the status line)
};

// Identifies quietly, then puts the named chip back into the lists.
SocketFit checkNamedChip(ChipJobRoles context);

}  // namespace nyra
