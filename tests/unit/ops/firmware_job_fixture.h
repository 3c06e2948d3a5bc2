// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chip-job fixture with the firmware texts, and firmware files to upgrade with.
#include <string>
#include <vector>

#include "device/firmware_image.h"
#include "ops/firmware_jobs.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra::ops_test {

inline constexpr const char* kFirmwareItext =
    "34=no programmer\r\n101=Firmware file check failed!\r\n102=Programmer did not come back!\r\n"
    "103=Ready to upgrade\r\n104=No handshake!\r\n105=Wrong start answer!\r\n"
    "106=No start answer!\r\n107=Block erase failed!\r\n108=Write failed!\r\n"
    "109=Read-back differs!\r\n110=Read-back short!\r\n111=Finish refused!\r\n"
    "112=No finish answer!\r\n113=Upgrade done!\r\n124=No firmware answer!\r\n"
    "152=File chosen\r\n194=Erasing:\r\n195=Firmware\r\n196=Serial number\r\n"
    "197=Programmer\r\n199=Choose a file\r\n";

class FirmwareJobTest : public ChipJobTest {
protected:
    std::string itextFile() const override { return std::string(kJobItext) + kFirmwareItext; }

    UpgradeWindow& window() { return state.upgradeWindow(); }

    // Bytes small enough that any body of a few hundred KiB keeps its sum in 24 bits.
    static std::vector<std::uint8_t> body(std::size_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<std::uint8_t>((i * 7) % 50);
        return bytes;
    }
    // A valid firmware file of exactly n bytes (n >= 8).
    static std::vector<std::uint8_t> fileOfLength(std::size_t n) {
        return buildFirmwareFile(0x13,
                                 body(n - kFirmwareMagic.size() - 1 - kFirmwareChecksumBytes));
    }
    // A full identification, as the detect button runs it: it clears the
    // programmer-blocked flag an upgrade leaves set.
    void identifyAgain() {
        state.startJob(job::kFullIdentify);
        state.worker().waitUntilIdle();
    }
    // The window opened with this file chosen.
    void chooseFirmware(const std::vector<std::uint8_t>& file) {
        window().open();
        window().choose(dir.write("firmware.nyr", std::string(file.begin(), file.end())));
    }
};

}  // namespace nyra::ops_test
