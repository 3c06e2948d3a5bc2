// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "app/text_table.h"
#include "device/firmware_image.h"

// The jobs' own texts where the text files have none: a job that was stopped
// or could not be confirmed says so in the language of the loaded texts.
namespace nyra {

std::string verifyIncompleteText(const TextTable& texts, std::uint64_t compared);
std::string readStoppedText(const TextTable& texts, std::uint64_t received);
std::string eraseStoppedText(const TextTable& texts);
std::string programNotConfirmedText(const TextTable& texts, std::uint64_t sent);
// The chip that answered at the job's start no longer does, or another one does.
std::string chipLeftText(const TextTable& texts);
// An OTP file of no bytes: nothing to program or compare.
std::string otpFileEmptyText(const TextTable& texts);
// What a chip of a series would get is larger than the chip; file names the
// user's document it comes from.
std::string imageLargerThanChipText(const TextTable& texts, const std::string& file,
                                    std::uint64_t bytes, std::uint64_t chipBytes);
// Why a firmware file was refused before anything was sent; for None, a file
// that could not be read or is too large.
std::string firmwareFileRefusedText(const TextTable& texts, FirmwareFileProblem problem);
// The status while the programmer restarts with its new firmware.
std::string programmerRestartingText(const TextTable& texts);

}  // namespace nyra
