// SPDX-License-Identifier: GPL-3.0-or-later
// A firmware file as the user picks it: the check that decides whether it
// may go to the boot loader.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const auto problem = nyra::firmwareFileProblem(file);
    if (problem == nyra::FirmwareFileProblem::None &&
        (!nyra::firmwareChecksumMatches(file) || !nyra::firmwareVersionOf(file)))
        __builtin_trap();
    return 0;
}
