// SPDX-License-Identifier: GPL-3.0-or-later
// The production-line feeder: a pass on a written chip swaps it for a fresh
// one after the line's delays, keeps what was taken out, and can feed a bad
// chip or none at all.
#include <gtest/gtest.h>

#include "sim/chip.h"
#include "sim/config.h"
#include "sim/control.h"
#include "sim/firmware.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using namespace testing;

TEST(FeederSchedule, OnlyAPassOnAWrittenChipStartsOneSwap) {
    Feeder feeder;
    feeder.onPassed(0, true);
    EXPECT_FALSE(feeder.pending()) << "off by default";
    feeder.settings().on = true;
    feeder.settings().outMs = 300;
    feeder.settings().inMs = 700;
    feeder.onPassed(100, false);
    EXPECT_FALSE(feeder.pending()) << "the fresh chip's pass";
    feeder.onPassed(100, true);
    feeder.onPassed(200, true);  // a second pass while the swap runs changes nothing
    EXPECT_FALSE(feeder.outDue(399));
    EXPECT_TRUE(feeder.outDue(400));
    const ChipModel model = *builtinChip("W25X40");
    feeder.tookOut(400, model);
    EXPECT_FALSE(feeder.outDue(10000));
    EXPECT_FALSE(feeder.inDue(1099));
    ASSERT_TRUE(feeder.inDue(1100));
    const auto next = feeder.putIn();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->model.name, "W25X40");
    EXPECT_FALSE(next->bad);
    EXPECT_FALSE(feeder.pending());
    EXPECT_FALSE(feeder.putIn()) << "one chip per swap";
}

TEST(FeederSchedule, BadAndEmptyCountersPickTheirChips) {
    Feeder feeder;
    ASSERT_TRUE(setFeederSetting(feeder.settings(), "on", "on", nullptr));
    ASSERT_TRUE(setFeederSetting(feeder.settings(), "bad", "1@1", nullptr));
    ASSERT_TRUE(setFeederSetting(feeder.settings(), "empty", "1@2", nullptr));
    const ChipModel model = *builtinChip("W25X40");
    std::vector<bool> bad;
    for (int chip = 0; chip < 3; ++chip) {
        feeder.onPassed(0, true);
        feeder.tookOut(1000, model);
        if (!feeder.inDue(100000))
            break;
        bad.push_back(feeder.putIn()->bad);
    }
    EXPECT_EQ(bad, (std::vector<bool>{false, true}));  // the third never comes
    EXPECT_FALSE(feeder.pending());
    // An empty socket at the swap: nothing to take, nothing to replace it with.
    feeder.onPassed(0, true);
    feeder.tookOut(1000, std::nullopt);
    EXPECT_FALSE(feeder.pending());
}

TEST(FeederSchedule, OldContentsAreDroppedButEveryChipIsListed) {
    Feeder feeder;
    const std::size_t chipBytes = kTakenBytesKept / 4;
    for (int i = 0; i < 6; ++i) {
        TakenChip chip;
        chip.chip = "big";
        chip.contents.assign(chipBytes, static_cast<std::uint8_t>(i));
        feeder.record(std::move(chip));
    }
    ASSERT_EQ(feeder.taken().size(), 6u);
    EXPECT_EQ(feeder.takenCount(), 6u);
    EXPECT_TRUE(feeder.taken()[0].contents.empty());
    EXPECT_TRUE(feeder.taken()[1].contents.empty());
    EXPECT_EQ(feeder.taken()[2].contents.size(), chipBytes);
    EXPECT_EQ(feeder.taken()[5].contents[0], 5);
    EXPECT_EQ(feeder.taken()[5].number, 6u);
}

TEST(FeederSchedule, TheListKeepsTheNewestChips) {
    Feeder feeder;
    for (std::size_t i = 0; i < kTakenChipsListed; ++i)
        feeder.record({0, "small", false, 0, 0, {1, 2}});
    EXPECT_EQ(feeder.taken().size(), kTakenChipsListed);
    EXPECT_EQ(feeder.taken().front().number, 1u);
    feeder.record({0, "small", false, 0, 0, {3}});
    ASSERT_EQ(feeder.taken().size(), kTakenChipsListed);
    EXPECT_EQ(feeder.taken().front().number, 2u);
    EXPECT_EQ(feeder.taken().back().contents, std::vector<std::uint8_t>{3});
    EXPECT_EQ(feeder.takenCount(), kTakenChipsListed + 1);
}

TEST(FeederSettings, ParseAndRefuseWithReasons) {
    FeederSettings s;
    std::string error;
    EXPECT_TRUE(setFeederSetting(s, "OUT", "2s", &error));
    EXPECT_EQ(s.outMs, 2000);
    EXPECT_TRUE(setFeederSetting(s, "in", "0.5ms", &error));
    EXPECT_EQ(s.inMs, 1) << "rounded up to whole milliseconds";
    EXPECT_FALSE(setFeederSetting(s, "in", "500", &error)) << "a bare number";
    EXPECT_NE(error.find("500ms"), std::string::npos);
    EXPECT_FALSE(setFeederSetting(s, "out", "2h", &error));
    EXPECT_FALSE(setFeederSetting(s, "on", "maybe", &error));
    EXPECT_FALSE(setFeederSetting(s, "speed", "1", &error));
    EXPECT_NE(error.find("settings: on out in bad empty"), std::string::npos);
    EXPECT_EQ(describeFeeder(s), "off");
    s.on = true;
    ASSERT_TRUE(setFeederSetting(s, "bad", "2@3", &error));
    EXPECT_EQ(describeFeeder(s), "on, out 2000 ms, in 1 ms, bad 2@3");

    const SimConfig c = parseConfigText(
        "feeder=on\nfeeder.out=1s\nfeeder.empty=1@9\nfeeder2=1\nfeeder2.in=3s\nfeeder.bad=x\n");
    EXPECT_TRUE(c.slots[0].feeder.on);
    EXPECT_EQ(c.slots[0].feeder.outMs, 1000);
    EXPECT_EQ(c.slots[0].feeder.empty.after, 9);
    EXPECT_FALSE(c.slots[0].feeder.bad.armed());
    EXPECT_TRUE(c.slots[1].feeder.on);
    EXPECT_EQ(c.slots[1].feeder.inMs, 3000);
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_NE(c.warnings[0].find("line 6: feeder.bad"), std::string::npos);
}

TEST(StuckBits, ReadOneWhateverIsWritten) {
    Chip flash(*builtinChip("W25X40"));
    EXPECT_FALSE(flash.written());
    flash.setStuckBits(kBadChipStuckBits);
    flash.writeByte(0, 0x00);
    flash.writeByte(1, 0x81);
    EXPECT_EQ(flash.at(0), 0x01);
    EXPECT_EQ(flash.at(1), 0x81);
    EXPECT_TRUE(flash.written());
    Chip eeprom(*parseChipDescription("i2c-eeprom:size=256,page=8", nullptr));
    eeprom.setStuckBits(kBadChipStuckBits);
    const std::uint8_t page[] = {0x10, 0x20, 0x31};
    eeprom.writePage(0, page);
    EXPECT_EQ(eeprom.at(0), 0x11);
    EXPECT_EQ(eeprom.at(1), 0x21);
    EXPECT_EQ(eeprom.at(2), 0x31);
    Chip erased(*builtinChip("W25X40"));
    erased.eraseAll();
    EXPECT_TRUE(erased.written()) << "an erase of a blank chip is still work on it";
}

class FeederLine : public ::testing::Test {
protected:
    void SetUp() override {
        SimulatorOptions o;
        o.chip = builtinChip("W25X40");
        o.time = &time;
        sim = std::make_unique<Simulator>(o);
        sim->setEventListener([this](const SimEvent& e) { events.push_back(e.kind); });
        usb::bind(sim.get());
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
        std::string error;
        ASSERT_TRUE(sim->setFeederSetting(0, "on", "1", &error)) << error;
        ASSERT_TRUE(sim->setFeederSetting(0, "out", "200ms", &error));
        ASSERT_TRUE(sim->setFeederSetting(0, "in", "300ms", &error));
        events.clear();
    }
    void TearDown() override {
        link.reset();
        usb::bind(nullptr);
    }
    // Programs the bytes at 0 as the program does: start, stream, end.
    void program(const std::vector<std::uint8_t>& bytes) {
        const Params p = paramsFor(*sim->chip(0));
        ASSERT_EQ(link->send(frame(cmd::kProgramStart, p)), 20);
        std::vector<std::uint8_t> page(bytes);
        page.resize(256, 0xFF);
        ASSERT_EQ(link->write(page), 256);
        ASSERT_EQ(link->send(frame(cmd::kStreamEnd, p)), 20);
        link->read(1);
    }
    void indicate(std::uint8_t state) {
        ASSERT_EQ(
            link->send(frame(cmd::kStateIndication, paramsFor(*builtinChip("W25X40")), {state})),
            20);
    }

    VirtualTimeSource time;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Link> link;
    std::vector<SimEventKind> events;
};

TEST_F(FeederLine, APassSwapsTheChipAfterTheDelaysAndKeepsTheOldOne) {
    program({0x12, 0x34});
    indicate(state::kFailed);
    indicate(state::kRunning);
    time.advance(1000);
    EXPECT_TRUE(sim->status(0).chip) << "no pass, no swap";
    const std::int64_t passedAt = time.nowMs();
    indicate(state::kSucceeded);
    time.advance(199);
    EXPECT_TRUE(sim->status(0).chip);
    time.advance(1);
    EXPECT_FALSE(sim->status(0).chip) << "out after 200 ms";
    EXPECT_EQ(link->identity(paramsFor(*builtinChip("W25X40"))), kNoAnswerSpi);
    time.advance(300);
    const ProgrammerStatus s = sim->status(0);
    ASSERT_TRUE(s.chip);
    EXPECT_EQ(s.chip->name, "W25X40");
    EXPECT_EQ(s.chipsTaken, 1u);
    EXPECT_EQ(events,
              (std::vector<SimEventKind>{SimEventKind::ChipChanged, SimEventKind::ChipChanged}));
    EXPECT_TRUE(allErased(sim->chipContents(0)));

    const auto taken = sim->takenChips(0);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].number, 1u);
    EXPECT_EQ(taken[0].chip, "W25X40");
    EXPECT_EQ(taken[0].takenAtMs, passedAt + 200);
    EXPECT_FALSE(taken[0].bad);
    ASSERT_EQ(taken[0].contents.size(), 512u * 1024);
    EXPECT_EQ(taken[0].contents[0], 0x12);
    EXPECT_EQ(taken[0].contents[1], 0x34);
    EXPECT_EQ(taken[0].sum, 0x12u + 0x34u + 0xFFu * (512u * 1024 - 2));

    // The fresh chip's pass (the job's own end) does not take it out.
    indicate(state::kSucceeded);
    time.advance(5000);
    EXPECT_TRUE(sim->status(0).chip);
    EXPECT_EQ(sim->takenChips(0).size(), 1u);
}

TEST_F(FeederLine, ABadChipFailsItsWriteAndAnEmptyLineLeavesTheSocketEmpty) {
    std::string error;
    ASSERT_TRUE(sim->setFeederSetting(0, "bad", "1", &error));
    ASSERT_TRUE(sim->setFeederSetting(0, "empty", "1@1", &error));
    program({0x00});
    indicate(state::kSucceeded);
    time.advance(500);
    ASSERT_TRUE(sim->status(0).chip);
    program({0x00, 0x02});
    EXPECT_EQ(sim->chipContents(0)[0], 0x01) << "bit 0 stays set";
    EXPECT_EQ(sim->chipContents(0)[1], 0x03);
    indicate(state::kSucceeded);
    time.advance(500);
    EXPECT_FALSE(sim->status(0).chip);
    time.advance(60000);
    EXPECT_FALSE(sim->status(0).chip) << "the line ran dry";
    const auto taken = sim->takenChips(0);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_FALSE(taken[0].bad);
    EXPECT_TRUE(taken[1].bad);
}

TEST_F(FeederLine, TheControlCommandsSetTheFeederAndShowTheTakenChips) {
    Control control(*sim);
    EXPECT_EQ(control.run("taken"), "ok\nno chip taken out\n");
    EXPECT_EQ(control.run("feeder out 1s"), "ok\n");
    EXPECT_EQ(control.run("feeder out soon").rfind("error: expected a time", 0), 0u);
    EXPECT_EQ(control.run("feeder out").rfind("error: usage: feeder", 0), 0u);
    EXPECT_NE(control.run("status").find("feeder: on, out 1000 ms, in 300 ms, 0 taken out"),
              std::string::npos);
    program({0xAB, 0xCD, 0xEF});
    indicate(state::kSucceeded);
    time.advance(1000);
    EXPECT_EQ(control.run("taken").rfind("ok\n1 W25X40 sum 0x", 0), 0u);
    EXPECT_EQ(control.run("peek 1 0 3"), "ok\nAB CD EF\n");
    EXPECT_EQ(control.run("peek 1 7FFFF 8"), "ok\nFF\n") << "cut at the chip's end";
    EXPECT_EQ(control.run("peek 1 80000").rfind("error: address past", 0), 0u);
    EXPECT_EQ(control.run("peek 2 0").rfind("error: no taken chip 2", 0), 0u);
    EXPECT_EQ(control.run("peek 1 0 257").rfind("error: usage: peek", 0), 0u);
    EXPECT_EQ(control.run("taken 2"), "ok\nno chip taken out\n");
}

TEST_F(FeederLine, AChipPulledMidStreamLeavesTheWriteUnanswered) {
    std::string error;
    ASSERT_TRUE(sim->setFault(0, "pull_chip_after", "4K", &error)) << error;
    EXPECT_NE(describeFaults(sim->faults(0)).find("pull_chip_after=4096"), std::string::npos);
    const Params p = paramsFor(*sim->chip(0));
    ASSERT_EQ(link->send(frame(cmd::kProgramStart, p)), 20);
    const std::vector<std::uint8_t> block(4096, 0x00);
    EXPECT_EQ(link->write(block), 4096);
    EXPECT_FALSE(sim->chip(0)) << "pulled once its 4 KiB went through";
    EXPECT_EQ(events, std::vector<SimEventKind>{SimEventKind::ChipChanged});
    EXPECT_EQ(link->write(block), 4096) << "the programmer itself is still there";
    ASSERT_EQ(link->send(frame32(cmd::kStreamEnd, p, 8192)), 20);
    EXPECT_TRUE(link->read(1, 1000).empty()) << "no done byte";
    EXPECT_EQ(describeFaults(sim->faults(0)), "none") << "the fault fires once";
}

}  // namespace
}  // namespace nyra::sim
