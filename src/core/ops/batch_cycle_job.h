// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "ops/job_context.h"

namespace nyra {

// What the batch cycle asks of the batch window, and the results it posts
// back. The window's side runs on its own threads: every call is thread-safe.
class BatchPort {
public:
    virtual ~BatchPort() = default;
    // The file the next cycle loads (empty: none).
    virtual std::string currentBatchFile() const = 0;
    // The user's document that file comes from, as the window names it.
    virtual std::string currentBatchDocument() const = 0;
    virtual bool seriesRunning() const = 0;
    // The chip's program step begins: from here its number may be on the
    // chip. False when the number cannot be noted first (the chip is left
    // unwritten and the cycle ends as failed).
    virtual bool chipWriting() = 0;
    // A chip's outcome (kPassed, kUnknown, a failed step's kCycleEnded) is
    // acted on before this returns, so the programmer shows a result only
    // once the series has counted and recorded it.
    virtual void postResult(std::uint8_t code) = 0;
};

namespace batch_result {
inline constexpr std::uint8_t kPassed = 0;
inline constexpr std::uint8_t kNoData = 1;
// Stopped or unplugged once the program step had begun: the chip may hold
// its number, so the number is used up.
inline constexpr std::uint8_t kUnknown = 2;
// The programmer left while the series waited for its next chip: no chip
// was touched, and the series ends rather than wait for ever.
inline constexpr std::uint8_t kProgrammerLost = 4;
inline constexpr std::uint8_t kBlocked = 16;
inline constexpr std::uint8_t kCycleEnded = 32;
inline constexpr std::uint8_t kNextChip = 64;
}  // namespace batch_result

// The batch run request's parameter: bit 0 loads the current batch file first.
inline constexpr std::uint32_t kBatchLoadFile = 1;

// Job 33: one chip of a batch series, with the steps the three batch
// switches choose; then, while the series runs, waits for the next chip.
// Returns 1 when the chip passed every step, so the programmer shows it.
std::uint8_t runBatchCycle(DataJobRoles context, BatchPort& port, std::uint32_t parameter);

enum class NextChip { Came, Stopped, ProgrammerLost };
// The chip taken out (no answer), then a chip in again (two answers in a
// row), unless the series stopped or the programmer left meanwhile.
NextChip waitForNextChip(ChipJobRoles context, const BatchPort& port);

}  // namespace nyra
