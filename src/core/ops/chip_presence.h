// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "ops/job_context.h"

namespace nyra {

// What the socket answers to the identity command sent with the job's own
// chip parameters: an SPI flash its ID (RDID, else its RES answer), an EEPROM
// its family's state code. No identity when the answer did not come in full.
std::optional<std::uint32_t> probeSocket(Roles<LinkRole, ChipRole> context);

// Whether an answer of probeSocket means that a chip is there.
bool chipAnswers(const ChipRole& context, std::uint32_t identity);

// A chip that left the socket during a job cannot be seen in its data: a job
// probes the socket before its first command and again before it reports
// success, and counts only when the same chip answered both times.
class ChipPresence {
public:
    // False, with the reason on the status line, when no chip answers.
    bool begin(Roles<LinkRole, ReportRole, ChipRole> context);
    // False, with the reason on the status line, when no chip or another one answers.
    bool confirm(Roles<LinkRole, ReportRole, ChipRole> context) const;

private:
    std::uint32_t identity_ = 0;
};

}  // namespace nyra
