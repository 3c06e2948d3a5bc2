// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's state over a simulated programmer holding a 512 KiB SPI
// flash, with a catalogue that also has EEPROMs of 256 B, 2 KiB and 8 KiB,
// for the chip jobs' tests.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "ops/chip_jobs.h"
#include "shell/app_state.h"
#include "sim/usb_binding.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra::ops_test {

using namespace ids;

inline constexpr const char* kJobItext =
    "[itext]\r\n6=edit mode off\r\n9=Notice\r\n29=Error\r\n38=Stop programming\r\n"
    "47=Programming...\r\n"
    "48=Writing:\r\n49=USB error!\r\n50=Stopped, sent\r\n51=Done, written\r\n"
    "56=blocked\r\n57=No data!\r\n58=File larger than chip?\r\n59=Erasing...\r\n"
    "60=Erase ended!\r\n61=Blank checking...\r\n62=Blank, time:\r\n63=The chip is blank!\r\n"
    "64=Blank check failed!\r\n65=Chip-is-not-blank!\r\n66=Address:\r\n67=Value:\r\n"
    "68=Blank check stopped\r\n72=No answer!\r\n76=Reading:\r\n78=Read "
    "ended!\r\n79=Verifying...\r\n"
    "80=Verifying:\r\n83=Yes/No/Cancel\r\n84=Verify failed! Mismatches:\r\n86= byte(s),\r\n"
    "85=(file larger than chip)\r\n87=Verify OK!\r\n91=Done\r\n92= erase\r\n93= program\r\n"
    "94= verify\r\n95= all OK\r\n190=File larger than chip, not written!\r\n192=File:\r\n"
    "193=Chip:\r\n202=Setting QE...\r\n203=QE set!\r\n204=QE failed!\r\n";

inline constexpr const char* kJobCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25X40:256:4:512KB:N:300:EF3013:00EF12:3.3V:000\r\n"
    "@W25Q32FV:256:4:4MB:N:300:EF4016:00EF15:3.3V:000\r\n"
    "#SST:\r\n@SST25VF040:256:4:512KB:N:300:FFFFFF:00BF44:3.3V:001\r\n"
    "$24 EEPROM\r\n#GENERIC:\r\n"
    "@24C02:8:N:256B:A0:100:000000:000000:5:100\r\n"
    "@24C16:16:N:2KB:A0:103:000000:000000:5:100\r\n"
    "$25 EEPROM\r\n#MICROCHIP:\r\n"
    "@25LC640A:32:N:8KB:N:200:000000:000000:5:200\r\n"
    "@25ODD:32:N:10000B:N:200:000000:000000:5:200\r\n";

inline std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

class ChipJobTest : public ::testing::Test {
protected:
    static sim::SimulatorOptions options(sim::TimeSource* time) {
        sim::SimulatorOptions o;
        o.programmers = 1;
        o.chip = sim::builtinChip("W25X40");
        o.time = time;
        return o;
    }
    // The itext.ini the program folder gets.
    virtual std::string itextFile() const { return kJobItext; }
    // The catalogue source the database is built from.
    virtual std::string catalogueFile() const { return kJobCatalogue; }
    void SetUp() override {
        dir.write("itext.ini", itextFile());
        const BuildResult built = buildDatabase(catalogueFile());
        ASSERT_TRUE(built.ok());
        dir.write("database.dat", std::string(built.database.begin(), built.database.end()));
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
        ASSERT_EQ(state.selection().selectedDevice(), "W25X40");
        frontend.clearRecord();
    }
    JobContext& context() { return state.jobContext(); }

    // An EEPROM is found only by its family: the user picks it. The simulated
    // chip is a built-in name or a generic description.
    void useChip(const std::string& simulated, const std::string& device) {
        const auto model = sim::parseChipDescription(simulated, nullptr);
        ASSERT_TRUE(model) << simulated;
        ASSERT_TRUE(simulator.swapChip(0, *model));
        if (state.autoIdentifyOn())
            state.command(kCmdAutoIdentify);
        for (std::uint32_t i = 0; i < state.catalogue().count(); ++i) {
            if (state.catalogue().record(i)->device == device) {
                ASSERT_TRUE(state.selection().selectRecord(i));
            }
        }
        ASSERT_EQ(state.selection().selectedDevice(), device);
    }
    void loadData(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.write("data.bin", std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(state.fileLoader().loadFile(path, true));
    }
    std::vector<std::uint8_t> chip() { return simulator.chipContents(0); }
    std::string status() { return state.panel().text(kStatusLine); }
    // The frames the programmer received with this command code.
    std::vector<CommandFrame> framesOf(std::uint8_t code) {
        std::vector<CommandFrame> found;
        for (const auto& frame : simulator.frames(0)) {
            if ((frame[1] & 0x3F) == code)
                found.push_back(frame);
        }
        return found;
    }

    // The device and the program share one virtual time: a chip the feeder
    // swaps after some milliseconds is swapped while the program waits.
    class SharedTime final : public sim::TimeSource {
    public:
        explicit SharedTime(VirtualClock& clock) : clock_(clock) {}
        std::int64_t nowMs() override { return clock_.nowMs(); }
        void sleepMs(std::int64_t ms) override { clock_.advance(ms); }

    private:
        VirtualClock& clock_;
    };

    TempDir dir;
    VirtualClock clock;
    SharedTime deviceTime{clock};
    sim::Simulator simulator{options(&deviceTime)};
    sim::usb::ScopedBinding binding{simulator};
    UsbApi usb = sim::usb::api();
    ScriptedFrontend frontend;
    AppState state{frontend, clock, usb};
};

}  // namespace nyra::ops_test
