// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sim/config.h"
#include "sim/firmware.h"
#include "sim_test_util.h"

namespace nyra::sim {
namespace {

using testing::frame;
using testing::Link;
using testing::Params;
using testing::paramsFor;

class Faulty : public ::testing::Test {
protected:
    void start(const char* chip = "W25Q64FV", double timing = 0) {
        SimulatorOptions o;
        o.chip = builtinChip(chip);
        o.time = &time;
        o.timingFactor = timing;
        sim = std::make_unique<Simulator>(o);
        usb::bind(sim.get());
        link = std::make_unique<Link>();
        ASSERT_TRUE(link->ok());
    }
    void TearDown() override {
        link.reset();
        usb::bind(nullptr);
    }
    Params params() const { return paramsFor(*sim->chip(0)); }
    void fault(const char* name, const char* value) {
        std::string error;
        ASSERT_TRUE(sim->setFault(0, name, value, &error)) << error;
    }

    VirtualTimeSource time;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Link> link;
};

TEST_F(Faulty, UnplugAfterNBytesCutsTheTransferThatCrossesIt) {
    start("W25X40");
    std::vector<SimEvent> events;
    sim->setEventListener([&](const SimEvent& e) { events.push_back(e); });
    fault("unplug_after", "10000");
    const Params p = params();
    link->send(frame(1, p));
    const std::vector<std::uint8_t> block(4096, 0x00);
    EXPECT_EQ(link->write(block), 4096);
    EXPECT_EQ(link->write(block), 4096);
    EXPECT_EQ(link->write(block), kErrNoDevice);
    EXPECT_FALSE(sim->plugged(0));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SimEventKind::Unplugged);
    EXPECT_EQ(link->send(frame(2, p)), kErrNoDevice);
    const auto chip = sim->chipContents(0);
    EXPECT_EQ(chip[8191], 0x00);
    EXPECT_EQ(chip[10000], 0xFF);                    // nothing past the cut reached the chip
    EXPECT_EQ(sim->faults(0).unplugAfterBytes, -1);  // the fault fired once
}

TEST_F(Faulty, UnplugAfterNBytesCountsReadsToo) {
    start("W25X40");
    fault("unplug_after", "100");
    Params p = params();
    p.size = 4096;
    link->send(frame(13, p));
    EXPECT_EQ(link->read(64).size(), 64u);
    EXPECT_EQ(link->read(36).size(), 36u);  // exactly the budget: done, then gone
    EXPECT_FALSE(sim->plugged(0));
    link->read(64);
    EXPECT_EQ(link->lastResult, kErrNoDevice);
}

TEST_F(Faulty, RefusedCommandTimesOutKTimesThenIsTaken) {
    start("W25X40");
    fault("refuse", "5:2");
    const std::int64_t before = time.nowMs();
    EXPECT_EQ(link->send(frame(5, params()), 1000), kErrTimeout);
    EXPECT_EQ(link->send(frame(5, params()), 1000), kErrTimeout);
    EXPECT_GE(time.nowMs() - before, 2000);               // each refusal lasts its time-out
    EXPECT_EQ(link->send(frame(18, params()), 100), 20);  // other codes pass
    EXPECT_EQ(link->read(1, 100).size(), 1u);
    EXPECT_EQ(link->send(frame(5, params()), 1000), 20);
    EXPECT_EQ(link->read(1, 1000), std::vector<std::uint8_t>{kReplyEraseDone});
    EXPECT_TRUE(sim->faults(0).refuse.empty());
    // Refused frames never reached the firmware.
    EXPECT_EQ(sim->frames(0).size(), 2u);
}

TEST_F(Faulty, ShortReadLeavesTheRestQueued) {
    start();
    fault("short_reads", "1");
    link->send(frame(7, params()));
    EXPECT_EQ(link->read(3).size(), 1u);
    EXPECT_EQ(link->read(3), (std::vector<std::uint8_t>{0x40, 0x17}));
}

TEST_F(Faulty, FailedReadsAfterASkipDoNotConsumeData) {
    start();
    fault("failed_reads", "2@1");
    link->send(frame(18, params()));
    link->send(frame(18, params()));
    EXPECT_EQ(link->read(1).size(), 1u);
    link->read(1);
    EXPECT_EQ(link->lastResult, kErrIo);
    link->read(1);
    EXPECT_EQ(link->lastResult, kErrIo);
    EXPECT_EQ(link->read(1), std::vector<std::uint8_t>{0x21});
}

TEST_F(Faulty, StallTimesOutAlthoughTheReplyIsReady) {
    start();
    fault("stall", "1");
    link->send(frame(18, params()));
    const std::int64_t before = time.nowMs();
    link->read(1, 700);
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_GE(time.nowMs() - before, 700);
    EXPECT_EQ(link->read(1, 700), std::vector<std::uint8_t>{0x21});
}

TEST_F(Faulty, OpenConfigurationAndClaimFailures) {
    start();
    link.reset();
    fault("open", "1");
    EXPECT_FALSE(Link().ok());
    EXPECT_TRUE(Link().ok());
    fault("set_configuration", "1");
    {
        usb::find_devices();
        usb_dev_handle* h = usb::open(testing::programmers()[0]);
        EXPECT_EQ(usb::set_configuration(h, 1), kErrPipe);
        EXPECT_EQ(usb::set_configuration(h, 1), 0);
        usb::close(h);
    }
    fault("claim", "always");
    EXPECT_FALSE(Link().ok());
    EXPECT_FALSE(Link().ok());
    fault("claim", "off");
    EXPECT_TRUE(Link().ok());
}

TEST_F(Faulty, FlakyReadsRepeatForTheSameSeed) {
    start();
    auto run = [&] {
        fault("seed", "42");
        fault("flaky_reads", "300");
        std::string outcomes;
        for (int i = 0; i < 200; ++i) {
            sim->injectIn(0, {1});
            link->read(1, 1);
            outcomes += link->lastResult == kErrIo ? 'x' : '.';
        }
        fault("flaky_reads", "0");
        link->read(64, 1);
        return outcomes;
    };
    const std::string first = run();
    EXPECT_EQ(run(), first);
    const auto failures = std::count(first.begin(), first.end(), 'x');
    EXPECT_GT(failures, 30);
    EXPECT_LT(failures, 100);
}

TEST_F(Faulty, BadFaultSettingsAreRefused) {
    start();
    std::string error;
    for (auto [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"refuse", "64:1"},
                                                          {"refuse", "5"},
                                                          {"stall", "-1"},
                                                          {"stall", "1@x"},
                                                          {"blocked", "maybe"},
                                                          {"flaky_reads", "1001"},
                                                          {"nonsense", "1"},
                                                          {"unplug_after", "lots"}}) {
        EXPECT_FALSE(sim->setFault(0, name, value, &error)) << name << "=" << value;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(sim->setFault(0, "stall", "3@2", &error));
    EXPECT_EQ(describeFaults(sim->faults(0)), "stall=3@2");
    EXPECT_TRUE(sim->setFault(0, "clear", "1", &error));
    EXPECT_EQ(describeFaults(sim->faults(0)), "none");
}

class Timed : public Faulty {};

TEST_F(Timed, ReadOnAnIdleQueueWaitsItsTimeOutInVirtualTime) {
    start();
    const auto realStart = std::chrono::steady_clock::now();
    const std::int64_t before = time.nowMs();
    link->read(64, 500);
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_GE(time.nowMs() - before, 500);
    EXPECT_LT(time.nowMs() - before, 520);
    link->read(64, 0);  // "no time-out" is still bounded
    EXPECT_EQ(link->lastResult, kErrTimeout);
    EXPECT_GE(time.nowMs() - before, 500 + kNoTimeoutCapMs);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
}

TEST_F(Timed, EraseReplyComesWhenTheEraseIsDone) {
    start("W25Q64FV", 1.0);  // a typical W25Q64 chip erase: 20 s
    link->send(frame(5, params()));
    const std::int64_t before = time.nowMs();
    int timeouts = 0;
    std::vector<std::uint8_t> r;
    while ((r = link->read(1, 1000)).empty() && timeouts < 600)
        ++timeouts;
    EXPECT_EQ(r, std::vector<std::uint8_t>{kReplyEraseDone});
    EXPECT_EQ(timeouts, 19);  // the program's one-second polls really wait
    EXPECT_NEAR(static_cast<double>(time.nowMs() - before), 20000.0, 20.0);
    EXPECT_FALSE(sim->status(0).busy);
}

TEST_F(Timed, BlockedReadReturnsAsSoonAsTheReplyIsReady) {
    start("W25Q64FV", 1.0);
    link->send(frame(5, params()));
    EXPECT_TRUE(sim->status(0).busy);
    const std::int64_t before = time.nowMs();
    EXPECT_EQ(link->read(1, 60000), std::vector<std::uint8_t>{kReplyEraseDone});
    EXPECT_GE(time.nowMs() - before, 20000);
    EXPECT_LE(time.nowMs() - before, 20001);
}

// Virtual milliseconds from a command to its one-byte reply.
std::int64_t replyDelayMs(Link& link, VirtualTimeSource& time,
                          const std::array<std::uint8_t, 20>& command, std::uint8_t expected) {
    const std::int64_t before = time.nowMs();
    link.send(command);
    const auto r = link.read(1, kNoTimeoutCapMs);
    EXPECT_EQ(r, std::vector<std::uint8_t>{expected});
    return time.nowMs() - before;
}

TEST_F(Timed, ChipEraseTakesTheTypicalTimeOfThePart) {
    struct Case {
        const char* chip;
        double ms;
    };
    const Case cases[] = {
        {"W25Q64FV", 20000},    {"W25Q128FV", 40000},   {"W25Q32FV", 10000},
        {"MX25L12835F", 40000}, {"GD25Q32", 10000},     {"SST25VF016B", 40},
        {"EN25Q64", 20000},     {"24C256", 512 * 5.0},  {"25LC640", 256 * 5.0},
        {"EE1004", 32 * 5.0},   {"93C46x16", 64 * 3.0}, {"93C66x8", 512 * 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        start(c.chip, 1.0);
        const auto ms = replyDelayMs(*link, time, frame(5, params()), kReplyEraseDone);
        EXPECT_NEAR(static_cast<double>(ms), c.ms, 1.0);
        TearDown();
    }
}

TEST_F(Timed, SstChipEraseIsFastAndWinbondIsSlow) {
    start("SST25VF016B", 1.0);
    EXPECT_LT(replyDelayMs(*link, time, frame(5, params()), kReplyEraseDone), 1000);
    TearDown();
    start("W25Q64FV", 1.0);
    EXPECT_GE(replyDelayMs(*link, time, frame(5, params()), kReplyEraseDone), 15000);
}

TEST_F(Timed, FactorScalesEveryDeviceTime) {
    // Chip erase, page program and a fill's sector erase, at factors 0, 1 and 2.
    auto run = [&](double factor) {
        start("GD25Q32", factor);
        const Params p = params();
        std::vector<std::int64_t> ms;
        ms.push_back(replyDelayMs(*link, time, frame(5, p), kReplyEraseDone));
        const std::int64_t before = time.nowMs();
        link->send(frame(1, p));
        EXPECT_EQ(link->write(std::vector<std::uint8_t>(16384, 0x5A)), 16384);
        replyDelayMs(*link, time, testing::frame32(2, p, 16384), kReplyWriteDone);
        ms.push_back(time.nowMs() - before);
        link->send(testing::frame32(19, p, 0x1000));
        EXPECT_EQ(link->readAll(4096, 1024).size(), 4096u);
        EXPECT_EQ(link->read(1, 50000), std::vector<std::uint8_t>{kReplyFillReady});
        EXPECT_EQ(link->write(std::vector<std::uint8_t>(4096, 0x00)), 4096);
        ms.push_back(replyDelayMs(*link, time, frame(2, p), kReplyWriteDone));
        TearDown();
        return ms;
    };
    const auto instant = run(0);
    const auto real = run(1);
    const auto slow = run(2);
    EXPECT_EQ(instant, (std::vector<std::int64_t>{0, 0, 0}));
    // GD25Q: 10 s chip erase, 64 pages of 0.6 ms, a 50 ms sector erase and 16 pages.
    EXPECT_NEAR(static_cast<double>(real[0]), 10000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(real[1]), 64 * 0.6, 1.0);
    EXPECT_NEAR(static_cast<double>(real[2]), 50 + 16 * 0.6, 1.0);
    for (std::size_t i = 0; i < real.size(); ++i)
        EXPECT_NEAR(static_cast<double>(slow[i]), 2.0 * static_cast<double>(real[i]), 2.0) << i;
}

TEST_F(Timed, ProgramTimeFollowsTheFamily) {
    struct Case {
        const char* chip;
        std::uint8_t parameter;
        std::uint32_t bytes;
        double ms;
    };
    const Case cases[] = {
        {"W25Q64FV", 0x00, 4096, 16 * 0.7},       {"GD25Q32", 0x00, 4096, 16 * 0.6},
        {"MX25L6405", 0x00, 4096, 16 * 1.4},      {"MX25L12835F", 0x00, 4096, 16 * 0.6},
        {"SST25VF016B", 0x02, 4096, 2048 * 0.01},  // AAI: one word per 10 us
        {"SST25VF016B", 0x01, 4096, 4096 * 0.01},  // byte program
        {"24C256", 0x00, 4096, 64 * 5.0},         {"25LC640", 0x00, 4096, 128 * 5.0},
        {"93C46x16", 0x10, 128, 64 * 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        start(c.chip, 1.0);
        Params p = params();
        p.parameter = c.parameter;
        const std::int64_t before = time.nowMs();
        link->send(frame(1, p));
        ASSERT_EQ(link->write(std::vector<std::uint8_t>(c.bytes, 0x00)), static_cast<int>(c.bytes));
        link->send(testing::frame32(2, p, c.bytes));
        EXPECT_EQ(link->read(1, 6000), std::vector<std::uint8_t>{kReplyWriteDone});
        EXPECT_NEAR(static_cast<double>(time.nowMs() - before), c.ms, 1.0);
        TearDown();
    }
}

TEST_F(Timed, FillOfALargeRealSectorPaysTheBlockErase) {
    start("MX25L6405", 1.0);  // 64 KiB erase units
    Params p = params();
    p.sectorCode = 2;  // filled in 4 KiB blocks
    link->send(testing::frame32(19, p, 0x2000));
    EXPECT_EQ(link->readAll(4096, 1024).size(), 4096u);
    EXPECT_EQ(link->read(1, 50000), std::vector<std::uint8_t>{kReplyFillReady});
    link->write(std::vector<std::uint8_t>(4096, 0x00));
    // 700 ms block erase, then only the 16 pages that are not all 0xFF.
    const auto ms = replyDelayMs(*link, time, frame(2, p), kReplyWriteDone);
    EXPECT_NEAR(static_cast<double>(ms), 700 + 16 * 1.4, 1.0);
}

TEST_F(Timed, DemoDefaultsMakeTheProgramWaitForTheErase) {
    std::vector<std::string> warnings;
    auto demo = makeSimulator(parseConfigText("image=none\ncontrol=off\n"), warnings, &time);
    ASSERT_TRUE(warnings.empty());
    usb::bind(demo.get());
    link = std::make_unique<Link>();
    ASSERT_TRUE(link->ok());
    link->send(frame(5, paramsFor(*demo->chip(0))));
    int reads = 0;
    std::vector<std::uint8_t> r;
    while (reads < 600 && (r = link->read(1, 1000)).empty())
        ++reads;
    EXPECT_EQ(r, std::vector<std::uint8_t>{kReplyEraseDone});
    EXPECT_GE(reads, 1);  // the erase takes its time, well inside the program's 600 reads
    link.reset();
    usb::bind(nullptr);
}

TEST_F(Timed, SixHundredReadEraseWaitCostsNoRealTime) {
    start("W25Q64FV", 1000.0);  // an erase far longer than the program's ten minutes
    link->send(frame(5, params()));
    const auto realStart = std::chrono::steady_clock::now();
    const std::int64_t before = time.nowMs();
    int reads = 0;
    while (reads < 600 && link->read(1, 1000).empty())
        ++reads;
    EXPECT_EQ(reads, 600);
    EXPECT_GE(time.nowMs() - before, 600000);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(10));
}

TEST_F(Timed, ProgramStreamIsPacedByPageProgramTime) {
    start("W25X40", 1.0);
    const Params p = params();
    link->send(frame(1, p));
    const std::int64_t before = time.nowMs();
    const std::vector<std::uint8_t> block(4096, 0x00);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(link->write(block), 4096);
    link->send(testing::frame32(2, p, 16 * 4096));
    EXPECT_EQ(link->read(1, 6000), std::vector<std::uint8_t>{kReplyWriteDone});
    // 256 pages at 0.7 ms each.
    EXPECT_NEAR(static_cast<double>(time.nowMs() - before), 179.0, 15.0);
}

TEST_F(Timed, StreamToABusyDeviceTimesOut) {
    start("W25Q64FV", 1.0);
    link->send(frame(5, params()));
    link->send(frame(1, params()));  // the erase still runs
    EXPECT_EQ(link->write(std::vector<std::uint8_t>(256, 0), 100), kErrTimeout);
}

TEST(SimulatorThreads, UnplugFromAnotherThreadEndsABlockedRead) {
    Simulator sim(simulatorOptions(1, "AT24C02"));  // real time
    usb::ScopedBinding bind(sim);
    Link link;
    ASSERT_TRUE(link.ok());
    std::atomic<int> result{0};
    std::thread reader([&] {
        char buf[8];
        result = usb::bulk_read(link.handle(), 0x83, buf, 8, 5000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto unplugAt = std::chrono::steady_clock::now();
    sim.unplug(0);
    reader.join();
    EXPECT_EQ(result.load(), kErrNoDevice);
    EXPECT_LT(std::chrono::steady_clock::now() - unplugAt, std::chrono::seconds(2));
}

TEST(SimulatorThreads, ConcurrentCallersEachGetTheirOwnReplies) {
    VirtualTimeSource time;
    Simulator sim(simulatorOptions(2, "AT24C02", &time));
    sim.setFirmwareVersion(1, 0x42);
    usb::ScopedBinding bind(sim);
    Link first(0);
    Link second(1);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    std::atomic<int> good{0};
    std::atomic<int> bad{0};
    auto talk = [&](Link& link, std::uint8_t expected) {
        for (int i = 0; i < 300; ++i) {
            link.send(frame(18));
            const auto r = link.read(64, 100);
            (r.size() == 1 && r[0] == expected ? good : bad)++;
        }
    };
    std::thread a(talk, std::ref(first), std::uint8_t{0x21});
    std::thread b(talk, std::ref(second), std::uint8_t{0x42});
    std::thread control([&] {
        for (int i = 0; i < 300; ++i) {
            sim.swapChip(1, *builtinChip(i % 2 ? "AT24C02" : "93C46x8"));
            sim.status(0);
            sim.transferLog(1);
        }
    });
    a.join();
    b.join();
    control.join();
    EXPECT_EQ(good.load(), 600);
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace nyra::sim
