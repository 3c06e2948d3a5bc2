// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's shared state in a fresh program folder, for tests of the
// chip jobs' frame: over the recording USB stand-in, or over the simulator.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "catalogue/catalogue_tools.h"
#include "ops/job_context.h"
#include "shell/app_state.h"
#include "sim/usb_binding.h"
#include "support/recording_usb.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra::ops_test {

inline constexpr const char* kFtext =
    "[ftext]\r\n54=Erase(F4)\r\n55=Program(F6)\r\n56=Verify(F8)\r\n57=Read(F7)\r\n"
    "58=Blank(F3)\r\n59=Detect(F5)\r\n";
inline constexpr const char* kItext =
    "[itext]\r\n9=Notice\r\n30=stop erase?\r\n31=stop program?\r\n32=stop verify?\r\n"
    "33=stop read?\r\n34=no programmer\r\n35=cannot open\r\n36=Stop erase(F4)\r\n"
    "38=Stop program(F6)\r\n40=Stop verify(F8)\r\n42=Stop read(F7)\r\n44=Stop blank(F3)\r\n"
    "56=programmer blocked\r\n72=no answer\r\n73=chip found\r\n74=several chips\r\n"
    "75=unknown chip\r\n";

// Two records share the simulated chip's identity, so identification can
// change the selected chip in a way the user must confirm.
inline constexpr const char* kCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25X05(CL):256:4:64KB:N:300:EF3010:000000:3.3V:000\r\n"
    "@W25Q64FV:256:4:8MB:N:300:EF4017:00EF16:3.3V:000\r\n"
    "@W25Q64JV:256:4:8MB:N:300:EF4017:00EF16:3.3V:000\r\n";

inline void writeProgramFolder(const TempDir& dir, bool withCatalogue) {
    dir.write("ftext.ini", kFtext);
    dir.write("itext.ini", kItext);
    if (withCatalogue) {
        const BuildResult built = buildDatabase(kCatalogue);
        ASSERT_TRUE(built.ok());
        dir.write("database.dat", std::string(built.database.begin(), built.database.end()));
    }
}

class DeskTest : public ::testing::Test {
protected:
    DeskTest() { nyra::testing::RecordingUsb::instance().reset(); }

    void startUp(bool withCatalogue = false) {
        writeProgramFolder(dir, withCatalogue);
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
    }
    JobContext& context() { return state.jobContext(); }
    nyra::testing::RecordingUsb& usbRecord() { return nyra::testing::RecordingUsb::instance(); }

    TempDir dir;
    ScriptedFrontend frontend;
    VirtualClock clock;
    UsbApi usb = nyra::testing::RecordingUsb::api();
    AppState state{frontend, clock, usb};
};

class SimDeskTest : public ::testing::Test {
protected:
    static sim::SimulatorOptions options(int programmers, sim::TimeSource* time) {
        sim::SimulatorOptions o;
        o.programmers = programmers;
        o.chip = sim::builtinChip("W25Q64FV");
        o.time = time;
        return o;
    }
    void startUp() {
        writeProgramFolder(dir, true);
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
    }
    JobContext& context() { return state.jobContext(); }

    TempDir dir;
    sim::VirtualTimeSource deviceTime{0};
    sim::Simulator simulator{options(1, &deviceTime)};
    sim::usb::ScopedBinding binding{simulator};
    UsbApi usb = sim::usb::api();
    ScriptedFrontend frontend;
    VirtualClock clock;
    AppState state{frontend, clock, usb};
};

}  // namespace nyra::ops_test
