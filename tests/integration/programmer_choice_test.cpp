// SPDX-License-Identifier: GPL-3.0-or-later
// Several programmers on one bus: each listed as it answers, a link pinned
// to one drives only that one and follows it through a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/command_channel.h"
#include "device/link.h"
#include "device/protocol.h"
#include "ops/programmer_list.h"
#include "sim/usb_binding.h"
#include "support/fake_link_host.h"

namespace nyra {
namespace {

constexpr int kProgrammers = 4;

class ProgrammerChoiceTest : public ::testing::Test {
protected:
    static sim::SimulatorOptions options() {
        sim::SimulatorOptions o = sim::simulatorOptions(kProgrammers, "W25X40");
        o.timingFactor = 0;
        return o;
    }
    void SetUp() override {
        for (int i = 0; i < kProgrammers; ++i)
            simulator.setSerial(i, 0x000100 + static_cast<std::uint32_t>(i));
        block[0] = kFrameStart;
        block[19] = kFrameEnd;
    }
    std::uint32_t serialThrough(Link& link) {
        CommandChannel channel(link, block);
        std::uint8_t reply[7] = {};
        if (!channel.sendCommand(cmd::kSerialNumber, 100) || link.readReply(reply, 7, 100) != 7)
            return 0;
        return std::uint32_t{reply[4]} << 16 | std::uint32_t{reply[5]} << 8 | reply[6];
    }
    // Waits (real time) until the bus shows count programmers again.
    std::vector<std::string> pathsOnceThere(std::size_t count) {
        for (int i = 0; i < 200; ++i) {
            auto paths = programmerPaths(api);
            if (paths.size() == count)
                return paths;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    sim::Simulator simulator{options()};
    sim::usb::ScopedBinding binding{simulator};
    UsbApi api = sim::usb::api();
    testing::FakeLinkHost host;
    CommandFrame block{};
};

TEST_F(ProgrammerChoiceTest, EachIsListedAsItAnswersAndAPinnedLinkDrivesOnlyItsOwn) {
    auto entries = listProgrammers(api);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kProgrammers));
    for (int i = 0; i < kProgrammers; ++i) {
        const ProgrammerEntry& e = entries[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.position, i + 1);
        EXPECT_TRUE(e.opened);
        EXPECT_EQ(e.serial, 0x000100u + static_cast<unsigned>(i));
        EXPECT_EQ(e.firmwareVersion, simulator.firmwareVersion(i));
        EXPECT_FALSE(e.bootLoader);
        EXPECT_EQ(lockName(e), "000" + std::to_string(256 + i));
    }
    // Nothing was left claimed or half-asked: a link on the first one works.
    Link first(api, host);
    ASSERT_TRUE(first.connect(false));
    EXPECT_EQ(serialThrough(first), 0x000100u);
    first.releaseAndClose(first.handle(), first.identity().interfaceNumber);

    // Pinned to the third: its frames reach that programmer and no other.
    Link link(api, host);
    link.pin(entries[2].busPath);
    for (int i = 0; i < kProgrammers; ++i)
        simulator.clearFrames(i);
    ASSERT_TRUE(link.connect(false));
    EXPECT_EQ(serialThrough(link), 0x000102u);
    for (int i = 0; i < kProgrammers; ++i)
        EXPECT_EQ(simulator.frames(i).empty(), i != 2) << i;

    // Into its boot loader: it restarts under a new device number, the link
    // follows it, and the list shows it waiting there without a serial number.
    CommandChannel channel(link, block);
    ASSERT_TRUE(channel.sendCommand(cmd::kEnterUpgrade, 100));
    link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
    ASSERT_EQ(pathsOnceThere(kProgrammers).size(), static_cast<std::size_t>(kProgrammers));
    ASSERT_TRUE(link.connect(false));
    EXPECT_NE(link.pinnedPath(), entries[2].busPath);
    link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
    entries = listProgrammers(api);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kProgrammers));
    EXPECT_EQ(entries[2].busPath, link.pinnedPath());
    EXPECT_TRUE(entries[2].bootLoader);
    EXPECT_FALSE(entries[2].serial);
    EXPECT_EQ(lockName(entries[2]), "usb-" + entries[2].busPath.replace(3, 1, "-"));

    // Two newcomers at once: the link does not guess which one is its own.
    link.pin(entries[0].busPath);
    simulator.unplug(0);
    simulator.unplug(1);
    ASSERT_EQ(pathsOnceThere(kProgrammers - 2).size(), 2u);
    simulator.plug(0);
    simulator.plug(1);
    EXPECT_FALSE(link.connect(false));
    EXPECT_FALSE(link.devicePresent());
}

TEST(ProgrammerWanted, ShortNumbersArePlacesLongOnesSerialNumbers) {
    const std::vector<ProgrammerEntry> entries = {
        {1, "001/002", 100001, 0x21, false, true},
        {2, "001/003", 777, 0x21, false, true},
        {3, "001/004", std::nullopt, std::nullopt, true, true}};
    struct Row {
        const char* word;
        std::optional<int> found;  // the position it names among entries; nullopt: none
        bool valid;
    };
    const Row rows[] = {{"1", 1, true},
                        {"3", 3, true},
                        {"4", std::nullopt, true},
                        {"99", std::nullopt, true},
                        {"100001", 1, true},
                        {"000777", 2, true},
                        {"777", 2, true},
                        {"0777", 2, true},
                        {"100", std::nullopt, true},
                        {"0", std::nullopt, false},
                        {"00", std::nullopt, false},
                        {"", std::nullopt, false},
                        {"x1", std::nullopt, false},
                        {"-1", std::nullopt, false},
                        {"16777216", std::nullopt, false},
                        {"123456789", std::nullopt, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.word);
        const auto wanted = parseProgrammerWanted(row.word);
        ASSERT_EQ(wanted.has_value(), row.valid);
        if (!wanted)
            continue;
        const ProgrammerEntry* entry = findProgrammer(entries, *wanted);
        EXPECT_EQ(entry ? std::optional<int>(entry->position) : std::nullopt, row.found);
    }
    EXPECT_EQ(describeWanted(*parseProgrammerWanted("2")), "programmer 2 (in bus order)");
    EXPECT_EQ(describeWanted(*parseProgrammerWanted("777")), "programmer 000777");
}

}  // namespace
}  // namespace nyra
