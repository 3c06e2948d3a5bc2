// SPDX-License-Identifier: GPL-3.0-or-later
// The window with several programmers: it starts on the one the user chose
// last, offers the choice while several are connected, remembers it, and
// never drives one another process holds.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "batch/window_series.h"
#include "device/firmware_image.h"
#include "device/protocol.h"
#include "ops_fixture.h"
#include "ui/ids.h"

namespace nyra::ops_test {
namespace {

using namespace batch_ids;
using ids::kCmdChooseProgrammer;
using ids::kMsgDeviceChange;

class ProgrammerSeatTest : public ::testing::Test {
protected:
    ProgrammerSeatTest() {
        ::setenv("NYRA_LOCK_DIR", locks.folder().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.folder().c_str(), 1);
    }
    ~ProgrammerSeatTest() override {
        ::unsetenv("NYRA_LOCK_DIR");
        ::unsetenv("XDG_CONFIG_HOME");
    }
    void startUp(int programmers) {
        sim::SimulatorOptions o = sim::simulatorOptions(programmers, "W25Q64FV");
        o.timingFactor = 0;
        simulator = std::make_unique<sim::Simulator>(o);
        binding = std::make_unique<sim::usb::ScopedBinding>(*simulator);
        state = std::make_unique<AppState>(frontend, clock, usb);
        state->programmerSeat().enable();
        writeProgramFolder(dir, true);
        state->startUp(dir.folder());
        state->worker().waitUntilIdle();
    }
    void deviceChange() {
        state->windowMessage(kMsgDeviceChange);
        state->worker().waitUntilIdle();
    }
    // The window closed, and the bus free for the next simulator.
    void end() {
        state->closeRequested();
        state->shutdown();
        state.reset();
        binding.reset();
        frontend.clearRecord();
    }
    std::string pathOf(int programmer) {
        return programmerPaths(usb)[static_cast<std::size_t>(programmer)];
    }
    bool held(const std::string& serial) {
        ProgrammerLock probe;
        std::string holder;
        return !probe.acquire(serial, holder);
    }
    std::string remembered() { return config.read("kvq-nyra/programmer"); }

    TempDir dir, locks, config;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<sim::usb::ScopedBinding> binding;
    UsbApi usb = sim::usb::api();
    ScriptedFrontend frontend;
    VirtualClock clock;
    std::unique_ptr<AppState> state;
};

TEST_F(ProgrammerSeatTest, StartsOnTheRememberedOneAndMovesWhereTheUserChooses) {
    std::filesystem::create_directories(config.file("kvq-nyra"));
    config.write("kvq-nyra/programmer", "100002\n");
    startUp(3);
    EXPECT_EQ(state->link().pinnedPath(), pathOf(1));
    EXPECT_TRUE(held("100002"));
    EXPECT_FALSE(held("100001"));
    EXPECT_FALSE(held("100003"));
    EXPECT_FALSE(state->panel().menuGreyed(kCmdChooseProgrammer));
    // The first identification went to the remembered one only.
    EXPECT_FALSE(simulator->frames(1).empty());

    // The user's folder is made when the first choice is remembered.
    std::filesystem::remove_all(config.file("kvq-nyra"));
    frontend.chooseFile("3: 100003, " + firmwareVersionText(simulator->firmwareVersion(2)));
    state->command(kCmdChooseProgrammer);
    state->worker().waitUntilIdle();
    const auto offered = frontend.calls().back().items;
    EXPECT_EQ(offered.size(), 3u);
    EXPECT_EQ(state->link().pinnedPath(), pathOf(2));
    EXPECT_EQ(remembered(), "100003\n");
    EXPECT_TRUE(held("100003"));
    EXPECT_FALSE(held("100002"));

    // Held by another process: refused with its name, nothing changes.
    ProgrammerLock other;
    std::string error;
    ASSERT_TRUE(other.acquire("100001", error));
    frontend.chooseFile(offered[0]);
    state->command(kCmdChooseProgrammer);
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_NE(frontend.boxes().back().text.find("programmer 100001 is in use by process " +
                                                std::to_string(::getpid())),
              std::string::npos);
    EXPECT_EQ(state->link().pinnedPath(), pathOf(2));
    EXPECT_EQ(remembered(), "100003\n");

    // Cancelled: as before.
    frontend.cancelDialog();
    state->command(kCmdChooseProgrammer);
    EXPECT_EQ(state->link().pinnedPath(), pathOf(2));

    // The chosen one unplugged: the window waits for it, it does not move to another.
    const std::string chosenPath = pathOf(2);
    ASSERT_TRUE(simulator->unplug(2));
    deviceChange();
    EXPECT_EQ(state->link().pinnedPath(), chosenPath);
    EXPECT_TRUE(held("100003"));
    EXPECT_FALSE(held("100002"));
    end();
}

TEST_F(ProgrammerSeatTest, WithOneConnectedNothingIsAskedAndTheChoiceIsGreyed) {
    startUp(1);
    EXPECT_EQ(state->link().pinnedPath(), "");
    EXPECT_TRUE(state->panel().menuGreyed(kCmdChooseProgrammer));
    EXPECT_TRUE(held("100001"));
    state->command(kCmdChooseProgrammer);
    for (const FrontendCall& call : frontend.calls())
        EXPECT_NE(call.kind, FrontendCall::Kind::ChooseItem);
    // A second one plugged in: the choice is offered.
    simulator->plug(1);
    deviceChange();
    EXPECT_FALSE(state->panel().menuGreyed(kCmdChooseProgrammer));
    end();
}

// Held by another process, at the window's start or plugged in later: asked
// who it is, never identified or worked on, and the window stays off the bus.
TEST_F(ProgrammerSeatTest, AProgrammerHeldElsewhereIsLeftAlone) {
    for (const bool pluggedLater : {false, true}) {
        SCOPED_TRACE(pluggedLater ? "plugged in later" : "there at start");
        ProgrammerLock other;
        std::string error;
        ASSERT_TRUE(other.acquire("100001", error));
        startUp(pluggedLater ? 0 : 1);
        if (pluggedLater) {
            EXPECT_TRUE(frontend.boxes().empty());
            ASSERT_TRUE(simulator->plug(0));
            deviceChange();
        }
        ASSERT_FALSE(frontend.boxes().empty());
        EXPECT_NE(frontend.boxes().back().text.find("programmer 100001 is in use by process"),
                  std::string::npos);
        for (const auto& frame : simulator->frames(0)) {
            const int code = frame[1] & 0x3F;
            EXPECT_TRUE(code == cmd::kFirmwareVersion || code == cmd::kSerialNumber) << code;
        }
        EXPECT_EQ(state->link().pinnedPath(), "-");
        end();
    }
}

// Two windows on one host are two stations: each is named by its programmer,
// so one's start never takes the other's reservation for its own leftover.
TEST_F(ProgrammerSeatTest, TheWindowsSeriesIsAStationOfItsProgrammer) {
    startUp(1);
    BatchWindow& window = state->batchWindow();
    Panel& panel = window.panel();
    window.setMode(2);
    const std::string document = dir.write("fw.bin", std::string(64, '\x5A'));
    panel.setText(kMainDocument, document);
    panel.setText(kStartId, "7");
    panel.setText(kIncrement, "5");
    panel.setText(kFillAddress, "100");
    panel.setCurrentIndex(kIdLength, 1);
    panel.setCurrentIndex(kFormat, 1);
    const std::string url = "sqlite:" + dir.file("serials.db");
    ASSERT_TRUE(state->windowSeries().choose({url, "line", ""}));

    std::string error;
    auto store = openSerialStore(url, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->seriesSettings("line"),
              (SeriesSettings{7, 5, 2, true, 100, documentChecksum(document)}))
        << "a new series takes the window's fields";
    ASSERT_TRUE(window.nextSerial);
    EXPECT_EQ(window.nextSerial(), 7u);
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const auto records = store->list("line").value_or(std::vector<IdRecord>{});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].station, std::string(host) + "-100001");
    EXPECT_EQ(records[0].programmer, "100001");

    // Closed before a chip came: the ID goes back for the next chip anywhere.
    end();
    EXPECT_EQ(store->reserve("line", {"other", "", ""}, "t"), 7u);
}

// The lock follows the one programmer the window drives: one plugged in after
// the start is locked as it comes, before the window drives it; another put in
// place of the one unplugged takes the lock over, and back when the first returns.
TEST_F(ProgrammerSeatTest, TheLockFollowsTheProgrammerTheWindowDrives) {
    startUp(0);
    EXPECT_FALSE(held("100001"));
    EXPECT_EQ(state->programmerSeat().drivenSerial(), "") << "none locked yet";
    ASSERT_TRUE(simulator->plug(0));
    deviceChange();
    EXPECT_TRUE(held("100001"));
    EXPECT_EQ(state->programmerSeat().drivenSerial(), "100001");
    EXPECT_EQ(state->selection().selectedDevice().rfind("W25Q64", 0), 0u)
        << "the window then names the chip in its socket";

    const auto replace = [&](int out, int in) {
        ASSERT_TRUE(simulator->unplug(out));
        deviceChange();
        ASSERT_TRUE(simulator->plug(in));
        deviceChange();
    };
    replace(0, 1);
    EXPECT_TRUE(held("100002"));
    EXPECT_FALSE(held("100001")) << "the window no longer drives it";
    EXPECT_EQ(state->programmerSeat().drivenSerial(), "100002");
    replace(1, 0);
    EXPECT_TRUE(held("100001"));
    EXPECT_FALSE(held("100002"));
    EXPECT_TRUE(frontend.boxes().empty());
    end();
}

}  // namespace
}  // namespace nyra::ops_test
