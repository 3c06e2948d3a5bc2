// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "net/deployment.h"
#include "ops/job_context.h"

namespace nyra {

// The programmer's firmware version byte, asked without a message when it
// is not connected; nullopt when it is missing, blocked or silent.
std::optional<std::uint8_t> queryFirmwareVersion(Roles<LinkRole, ControlRole> context);

// The update check: the version document from the update server, the
// programmer's firmware version, and the version window. It runs on the
// worker, so the window stays free and no job's transfer is ever met.
std::uint8_t checkForUpdate(Roles<LinkRole, ReportRole, ControlRole> context,
                            const NetDeployment& deployment);

}  // namespace nyra
