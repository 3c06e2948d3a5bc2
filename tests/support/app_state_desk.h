// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include "shell/app_state.h"
#include "support/recording_usb.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

// The whole program without a window or a programmer: a program folder of
// its own with the texts given, a scripted person and a virtual clock.
namespace nyra::testing {

template <class Base = ::testing::Test>
class AppStateDesk : public Base {
protected:
    void startUpWith(const char* itext, const char* ftext = nullptr) {
        RecordingUsb::instance().reset();
        dir.write("itext.ini", itext);
        if (ftext)
            dir.write("ftext.ini", ftext);
        state.startUp(dir.folder());
        state.worker().waitUntilIdle();
        frontend.clearRecord();
    }

    TempDir dir;
    ScriptedFrontend frontend;
    VirtualClock clock;
    UsbApi usb = RecordingUsb::api();
    AppState state{frontend, clock, usb};
};

}  // namespace nyra::testing
