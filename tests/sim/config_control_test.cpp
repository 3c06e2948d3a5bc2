// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "sim/config.h"
#include "sim/control.h"
#include "sim/control_server.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::TempDir;

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Config, DefaultsGiveTheDemoDevice) {
    const SimConfig c = parseConfigText("");
    EXPECT_EQ(c.programmers, 1);
    EXPECT_EQ(c.slots[0].chip, "W25X40");
    EXPECT_EQ(c.slots[0].image, "sim-chip.bin");
    EXPECT_DOUBLE_EQ(c.timing, 1.0);
    EXPECT_FALSE(c.adapter);
    EXPECT_TRUE(c.warnings.empty());
    EXPECT_EQ(controlPathOf(c), defaultControlPath());
}

TEST(Config, KeysApplyWithCommentsSpacesAndCrLf) {
    const SimConfig c = parseConfigText(
        "# demo device\r\n"
        "  programmers = 2 \r\n"
        "chip=spi-flash:size=1M,id=C84014\n"
        "; another comment\n"
        "image=images/chip#1.bin   # a comment after the value\n"
        "chip2 = 93C46x16\n"
        "image2=/abs/two.bin\n"
        "timing=0.5\n"
        "ADAPTER=yes\n"
        "firmware=0x13\n"
        "serial=654321\n"
        "control=off\n"
        "fault.stall=2@3\n"
        "fault2.refuse=5:1\n",
        "/base");
    EXPECT_TRUE(c.warnings.empty()) << c.warnings.front();
    EXPECT_EQ(c.programmers, 2);
    EXPECT_EQ(c.slots[0].chip, "spi-flash:size=1M,id=C84014");
    EXPECT_EQ(c.slots[0].image, "/base/images/chip#1.bin");
    EXPECT_EQ(c.slots[1].chip, "93C46x16");
    EXPECT_EQ(c.slots[1].image, "/abs/two.bin");
    EXPECT_DOUBLE_EQ(c.timing, 0.5);
    EXPECT_TRUE(c.adapter);
    EXPECT_EQ(c.firmwareVersion, 0x13);
    EXPECT_EQ(c.slots[0].serial, 654321u);
    EXPECT_EQ(controlPathOf(c), "");
    EXPECT_EQ(c.slots[0].faults.stalls.count, 2);
    EXPECT_EQ(c.slots[0].faults.stalls.after, 3);
    EXPECT_EQ(c.slots[1].faults.refuse.at(5).count, 1);
}

// Each programmer's own keys reach only its own slot; a number past the
// last programmer, or a key without a programmer's meaning, is refused.
TEST(Config, EightProgrammersEachWithItsOwnChipImageSerialFaultsAndFeeder) {
    const SimConfig c = parseConfigText(
        "programmers=8\nchip=W25X40\nimage=none\nchip5=AT24C02\nimage8=eight.bin\nserial6=600\n"
        "fault3.blocked=1\nfeeder4=on\nfeeder4.bad=1@2\nchip9=W25X40\nchip1=W25X40\n"
        "fault7=1\nserial2.x=1\nimage22=x\nimage8=none\n",
        "/base");
    EXPECT_EQ(c.warnings.size(), 5u);
    EXPECT_EQ(c.programmers, 8);
    for (int i = 0; i < kMaxProgrammers; ++i) {
        SCOPED_TRACE(i);
        const ProgrammerSettings& p = c.slots[static_cast<std::size_t>(i)];
        EXPECT_EQ(c.chipOf(i), i == 4 ? "AT24C02" : "W25X40");
        EXPECT_EQ(p.image, "");
        EXPECT_EQ(p.serial, i == 5 ? 600u : 100001u + static_cast<unsigned>(i));
        EXPECT_EQ(p.faults.blocked, i == 2);
        EXPECT_EQ(p.feeder.on, i == 3);
        EXPECT_EQ(p.feeder.bad.armed(), i == 3);
    }
    std::vector<std::string> warnings;
    VirtualTimeSource time;
    const auto sim = makeSimulator(c, warnings, &time);
    for (int i = 0; i < kMaxProgrammers; ++i) {
        EXPECT_TRUE(sim->plugged(i));
        EXPECT_EQ(sim->status(i).serial, c.slots[static_cast<std::size_t>(i)].serial);
    }
    EXPECT_EQ(sim->chip(4)->name, "AT24C02");
    EXPECT_TRUE(sim->faults(2).blocked);
}

TEST(Config, BadLinesWarnAndTheRestStillApplies) {
    const SimConfig c = parseConfigText(
        "programmers=9\n"
        "chip=W25Q99\n"
        "timing=fast\n"
        "timing=-1\n"
        "colour=blue\n"
        "just some words\n"
        "fault.explode=1\n" +
        std::string(5000, 'x') + "=1\n" +
        "image=none\n"
        "programmers=0\n");
    EXPECT_EQ(c.warnings.size(), 8u);
    EXPECT_EQ(c.programmers, 0);
    EXPECT_EQ(c.slots[0].chip, "W25X40");
    EXPECT_EQ(c.slots[0].image, "");
    EXPECT_DOUBLE_EQ(c.timing, 1.0);
    EXPECT_NE(c.warnings[0].find("line 1"), std::string::npos);
}

TEST(Config, RandomBytesNeverBreakTheParser) {
    std::mt19937 rng(11);
    const std::string pieces[] = {"programmers", "chip", "timing", "fault.", "refuse",          "=",
                                  "\n",          "#",    "2",      "0x",     "spi-flash:size=", "@",
                                  ":",           "\xff", "\0"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) {
            text += rng() % 4 ? pieces[rng() % std::size(pieces)]
                              : std::string(1, static_cast<char>(rng()));
        }
        const SimConfig c = parseConfigText(text);
        EXPECT_GE(c.programmers, 0);
        EXPECT_LE(c.programmers, kMaxProgrammers);
        EXPECT_GE(c.timing, 0.0);
        EXPECT_LE(c.timing, 1000.0);
    }
}

TEST(Config, LoadFollowsTheEnvironmentThenTheCurrentFolder) {
    TempDir dir;
    { std::ofstream(dir.file("sim.conf")) << "chip=AT24C02\nimage=a.bin\n"; }
    {
        ScopedEnv env("NYRA_SIM_CONFIG", dir.file("sim.conf").c_str());
        const SimConfig c = loadConfig();
        EXPECT_EQ(c.slots[0].chip, "AT24C02");
        EXPECT_EQ(c.slots[0].image, dir.file("a.bin"));  // relative to the named file
        EXPECT_EQ(c.source, dir.file("sim.conf"));
    }
    {
        ScopedEnv env("NYRA_SIM_CONFIG", dir.file("missing.conf").c_str());
        const SimConfig c = loadConfig();
        EXPECT_EQ(c.slots[0].chip, "W25X40");
        ASSERT_EQ(c.warnings.size(), 1u);
        EXPECT_NE(c.warnings[0].find("missing.conf"), std::string::npos);
    }
    {
        ScopedEnv env("XDG_RUNTIME_DIR", "/run/user/77");
        EXPECT_EQ(defaultControlPath(), "/run/user/77/kvq-nyra-sim.sock");
    }
    {
        ScopedEnv env("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(defaultControlPath(),
                  "/tmp/kvq-nyra-sim-" + std::to_string(::getuid()) + ".sock");
    }
}

TEST(Config, MakeSimulatorBuildsWhatTheFileSays) {
    TempDir dir;
    std::vector<std::uint8_t> saved(256, 0x5A);
    {
        std::ofstream(dir.file("chip.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(saved.data()), 256);
    }
    SimConfig c = parseConfigText(
        "programmers=2\nchip=AT24C02\nchip2=25LC640\nadapter=1\n"
        "serial2=777\nimage=chip.bin\nfault.blocked=1\ntiming=0\n",
        dir.path());
    std::vector<std::string> warnings;
    VirtualTimeSource time;
    auto sim = makeSimulator(c, warnings, &time);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(sim->plugged(1));
    EXPECT_EQ(sim->chip(0)->name, "AT24C02");
    EXPECT_EQ(sim->chip(1)->name, "25LC640");
    EXPECT_EQ(sim->chipContents(0), saved);
    EXPECT_TRUE(sim->status(1).adapter);
    EXPECT_EQ(sim->status(1).serial, 777u);
    EXPECT_TRUE(sim->faults(0).blocked);
    EXPECT_FALSE(sim->faults(1).blocked);
    c.slots[0].chip = "none";
    c.slots[1].chip = "spi-flash:size=3";
    warnings.clear();
    sim = makeSimulator(c, warnings, &time);
    EXPECT_FALSE(sim->chip(0));
    EXPECT_FALSE(sim->chip(1));
    EXPECT_EQ(warnings.size(), 1u);
}

TEST(Config, AnUpgradedFirmwareVersionIsKeptBesideTheChipImage) {
    TempDir dir;
    const SimConfig c =
        parseConfigText("chip=W25Q32FV\nimage=chip.bin\nfirmware=0x21\ntiming=0\n", dir.path());
    const std::string state = firmwareStatePath(c.slots[0].image);
    EXPECT_EQ(state, dir.file("chip.bin") + ".firmware");
    EXPECT_EQ(firmwareStatePath(""), "");
    EXPECT_FALSE(saveFirmwareState("", 0x13));

    std::vector<std::string> warnings;
    VirtualTimeSource time;
    EXPECT_EQ(makeSimulator(c, warnings, &time)->status(0).firmwareVersion, 0x21);
    ASSERT_TRUE(saveFirmwareState(state, 0x13));
    EXPECT_EQ(loadFirmwareState(state), 0x13);
    EXPECT_EQ(makeSimulator(c, warnings, &time)->status(0).firmwareVersion, 0x13);

    // A file that does not hold a version byte is ignored: the configured one applies.
    for (const char* text : {"", "0x1FF\n", "thirteen\n", "0x13x\n"}) {
        std::ofstream(state, std::ios::trunc) << text;
        EXPECT_FALSE(loadFirmwareState(state)) << text;
        EXPECT_EQ(makeSimulator(c, warnings, &time)->status(0).firmwareVersion, 0x21) << text;
    }
    EXPECT_TRUE(warnings.empty());
}

class ControlCommands : public ::testing::Test {
protected:
    ControlCommands() : sim(simulatorOptions(1, "W25Q64FV", &time)), control(sim) {}
    VirtualTimeSource time;
    Simulator sim;
    Control control;
};

TEST_F(ControlCommands, PlugAndUnplugNumberProgrammersFromOne) {
    std::vector<SimEvent> events;
    sim.setEventListener([&](const SimEvent& e) { events.push_back(e); });
    EXPECT_EQ(control.run("plug 2"), "ok\n");
    EXPECT_TRUE(sim.plugged(1));
    EXPECT_EQ(control.run("unplug"), "ok\n");
    EXPECT_FALSE(sim.plugged(0));
    EXPECT_EQ(control.run("unplug 1").rfind("error: programmer 1 is already unplugged", 0), 0u);
    EXPECT_EQ(control.run("plug 8"), "ok\n");
    EXPECT_TRUE(sim.plugged(7));
    EXPECT_NE(control.run("status").find("programmer 8: plugged"), std::string::npos);
    for (const char* bad : {"plug 9", "plug 0", "plug x", "plug 1 2", "unplug -1"}) {
        EXPECT_EQ(control.run(bad).rfind("error: usage", 0), 0u) << bad;
    }
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(ControlCommands, SocketCommandsChangeTheChip) {
    EXPECT_EQ(control.run("insert AT24C02").rfind("error: the socket is occupied", 0), 0u);
    EXPECT_EQ(control.run("swap AT24C02"), "ok\n");
    EXPECT_EQ(sim.chip(0)->name, "AT24C02");
    EXPECT_EQ(control.run("remove"), "ok\n");
    EXPECT_FALSE(sim.chip(0));
    EXPECT_EQ(control.run("remove"), "error: the socket is already empty\n");
    EXPECT_EQ(control.run("remove 2"), "ok\n");
    EXPECT_EQ(control.run("insert microwire:size=256,org=16 2"), "ok\n");
    EXPECT_EQ(sim.chip(1)->organisation, 16);
    const std::string reply = control.run("insert spi-flash:size=1M,page=100");
    EXPECT_EQ(reply.rfind("error: page", 0), 0u) << reply;
    EXPECT_EQ(control.run("insert"), "error: usage: insert <chip> [1..8]\n");
}

TEST_F(ControlCommands, ConfiguredChipKeepsItsImageWhenInsertedAgain) {
    TempDir dir;
    control.rememberImage("w25x40", dir.file("x.bin"));
    EXPECT_EQ(control.run("swap W25X40"), "ok\n");
    EXPECT_EQ(sim.status(0).image, dir.file("x.bin"));
    EXPECT_EQ(control.run("swap AT24C02"), "ok\n");
    EXPECT_EQ(sim.status(0).image, "");
}

TEST_F(ControlCommands, FaultsStatusAndTiming) {
    EXPECT_EQ(control.run("fault stall 2"), "ok\n");
    EXPECT_EQ(control.run("fault refuse 5:3 1"), "ok\n");
    EXPECT_EQ(sim.faults(0).stalls.count, 2);
    EXPECT_EQ(sim.faults(0).refuse.at(5).count, 3);
    EXPECT_EQ(control.run("fault stall").rfind("error: usage: fault", 0), 0u);
    EXPECT_EQ(control.run("fault stall x").rfind("error: expected", 0), 0u);
    EXPECT_EQ(control.run("timing 2.5"), "ok\n");
    EXPECT_DOUBLE_EQ(sim.timingFactor(), 2.5);
    EXPECT_EQ(control.run("timing -1").rfind("error", 0), 0u);
    const std::string status = control.run("status");
    EXPECT_EQ(status.rfind("ok\nprogrammer 1: plugged, serial", 0), 0u) << status;
    EXPECT_NE(status.find("socket: W25Q64FV: spi-flash"), std::string::npos);
    EXPECT_NE(status.find("faults: refuse=5:3 stall=2"), std::string::npos);
    EXPECT_NE(status.find("programmer 2: unplugged"), std::string::npos);
    EXPECT_NE(status.find("timing: 2.5"), std::string::npos);
    EXPECT_NE(control.run("list-chips").find("93C46x16: microwire"), std::string::npos);
    EXPECT_NE(
        control.run("list-chips")
            .find(
                "typical: page program 0.7 ms, 4K erase 45 ms, 64K erase 150 ms, chip erase 20 s"),
        std::string::npos);
}

TEST_F(ControlCommands, GarbageGetsAnErrorNeverACrash) {
    EXPECT_EQ(control.run(""), "error: empty command; try help\n");
    EXPECT_EQ(control.run(std::string(2000, 'a')), "error: line too long\n");
    EXPECT_EQ(control.run("\x01\x02 x"), "error: unknown command '\\x01\\x02'; try help\n");
    std::mt19937 rng(5);
    const std::string words[] = {"plug",   "unplug",  "insert", "swap", "remove", "fault",
                                 "status", "timing",  "1",      "2",    "stall",  "refuse",
                                 "5:1",    "AT24C02", " ",      "\t"};
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        const int n = static_cast<int>(rng() % 5);
        for (int k = 0; k < n; ++k)
            line += words[rng() % std::size(words)] + " ";
        const std::string reply = control.run(line);
        EXPECT_TRUE(reply.rfind("ok\n", 0) == 0 || reply.rfind("error: ", 0) == 0) << line;
    }
}

TEST(ControlServer, AnswersLinesOverTheSocketAndCleansUp) {
    TempDir dir;
    const std::string path = dir.file("ctl.sock");
    ControlServer server;
    std::string error;
    ASSERT_TRUE(server.start(
        path, [](std::string_view line) { return "ok\nheard " + std::string(line) + "\n"; },
        &error))
        << error;
    std::string reply;
    ASSERT_TRUE(sendControlRequest(path, "status", reply, &error)) << error;
    EXPECT_EQ(reply, "ok\nheard status\n");
    ASSERT_TRUE(sendControlRequest(path, std::string(3000, 'z'), reply, &error)) << error;
    EXPECT_EQ(reply, "error: line too long\n");
    ControlServer second;
    EXPECT_FALSE(second.start(path, nullptr, &error));
    EXPECT_NE(error.find("already serves"), std::string::npos);
    server.stop();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(sendControlRequest(path, "status", reply, &error));
    EXPECT_NE(error.find("no simulator answers"), std::string::npos);
}

TEST(ControlServer, ReplacesAStaleSocketButNeverAnotherFile) {
    TempDir dir;
    const std::string stale = dir.file("stale.sock");
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);  // the file stays, nobody listens: as after a crash
    }
    ControlServer server;
    std::string error;
    EXPECT_TRUE(server.start(
        stale, [](std::string_view) { return std::string("ok\n"); }, &error))
        << error;
    server.stop();
    const std::string plain = dir.file("notes.txt");
    std::ofstream(plain) << "keep me";
    EXPECT_FALSE(server.start(plain, nullptr, &error));
    EXPECT_TRUE(std::filesystem::exists(plain));
    EXPECT_FALSE(server.start(dir.path() + "/" + std::string(200, 'p'), nullptr, &error));
    EXPECT_NE(error.find("too long"), std::string::npos);
}

TEST(ControlServer, ClientThatNeverSendsANewlineStillGetsAnAnswer) {
    TempDir dir;
    const std::string path = dir.file("ctl.sock");
    ControlServer server;
    std::string error;
    ASSERT_TRUE(server.start(
        path, [](std::string_view line) { return std::string(line) + "!\n"; }, &error));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::write(fd, "status", 6), 6);
    ::shutdown(fd, SHUT_WR);
    char buf[64] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), "status!\n");
}

}  // namespace
}  // namespace nyra::sim
