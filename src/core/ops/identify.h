// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "ops/identify_record.h"
#include "ops/job_context.h"

namespace nyra {

inline constexpr std::size_t kMaxCandidates = 10;
inline constexpr int kProbeCount = 12;
inline constexpr int kProbesWithAdapter = 5;

// Asks the programmer for the identity of the chip in its socket with up to
// twelve probe settings and selects the matching catalogue record, or the
// chip family a state code names. full: the detect button's form, which
// tells the user what it found; otherwise the quiet form of start-up and
// device changes. connect: check and re-open the link first.
int identifyChip(ChipJobRoles context, bool full, bool connect);

// Job 23 (detect button, F5) and job 7 (start-up and device changes; does
// nothing while auto-identify is off).
std::uint8_t fullIdentifyJob(ChipJobRoles context);
std::uint8_t quietIdentifyJob(ChipJobRoles context);

// Whether an identity is one of the state codes that name a chip family
// without a chip ID (24-series I2C, 25-series SPI, 93-series Microwire, 3.3 V
// I2C EEPROMs), as opposed to a chip ID.
bool namesChipFamily(std::uint32_t identity);

// One probe's settings of bytes 1 to 3 of the parameter block.
struct ProbeSetting {
    bool familyBit;          // byte 1 bit 7
    bool busFromAdapter;     // byte 2 = 0x80 with the adapter, else 0 (probes 1 to 5)
    std::uint8_t busCode;    // byte 2 low nibble otherwise, high nibble kept
    std::uint8_t parameter;  // byte 3
    char group;              // settling group
};
const ProbeSetting& probeSetting(int probe);  // probe 1..12

}  // namespace nyra
