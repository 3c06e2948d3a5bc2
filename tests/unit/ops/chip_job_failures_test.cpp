// SPDX-License-Identifier: GPL-3.0-or-later
// How the chip jobs fail, through the real link into the simulated programmer
// in virtual time: that they say why, that nothing counts as done without the
// programmer's word, and that the socket is asked before and after each job.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ops/socket_check.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::ChipJobTest;
using ops_test::randomBytes;
// Reads in a clean run of the job before its first read of this size and time-out.
template <typename Job>
std::string readsBeforeWait(sim::Simulator& simulator, Link& link, Job job, int size, int timeout) {
    link.drainUntilQuiet();
    simulator.clearTransferLog();
    EXPECT_EQ(job(), 1);
    const auto log = simulator.transferLog();
    const auto wait = std::find_if(log.begin(), log.end(), [&](const auto& r) {
        return r.call == sim::UsbCall::BulkRead && r.size == size && r.timeout == timeout;
    });
    EXPECT_NE(wait, log.end());
    link.drainUntilQuiet();
    return std::to_string(std::count_if(
        log.begin(), wait, [](const auto& r) { return r.call == sim::UsbCall::BulkRead; }));
}

TEST_F(ChipJobTest, WithoutTheProgrammersEndByteNothingIsDone) {
    loadData(randomBytes(5000, 17));
    simulator.clearTransferLog();
    ASSERT_EQ(programChip(context(), true), 1);
    const auto readyWaits = [](const std::vector<sim::TransferRecord>& records, int timeout) {
        return std::count_if(records.begin(), records.end(), [timeout](const auto& r) {
            return r.call == sim::UsbCall::BulkRead && r.size == 1 && r.timeout == timeout;
        });
    };
    EXPECT_EQ(readyWaits(simulator.transferLog(), 6000), 1) << "0x02 came with the first read";

    // Without it the wait ends after ten reads, and the program has failed.
    state.command(kCmdAutoIdentify);
    ASSERT_FALSE(state.autoIdentifyOn());
    const auto program = [&] { return programChip(context(), true); };
    const std::string before = readsBeforeWait(simulator, state.link(), program, 1, 6000);
    ASSERT_TRUE(simulator.setFault(0, "stall", "10@" + before));
    simulator.clearTransferLog();
    EXPECT_EQ(programChip(context(), true), 0);
    EXPECT_EQ(readyWaits(simulator.transferLog(), 6000), 10);
    EXPECT_EQ(status(),
              "Programming failed: the programmer did not confirm the write (5000 byte(s) sent)!");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    ASSERT_TRUE(simulator.setFault(0, "stall", "off"));

    // An erase whose done byte never comes: 600 reads, then the USB error.
    const auto erase = [&] { return eraseChip(context(), true); };
    const std::string beforeErase = readsBeforeWait(simulator, state.link(), erase, 1, 1000);
    ASSERT_TRUE(simulator.setFault(0, "stall", "always@" + beforeErase));
    simulator.clearTransferLog();
    EXPECT_EQ(eraseChip(context(), true), 0);
    EXPECT_EQ(status(), "USB error!");
    EXPECT_EQ(readyWaits(simulator.transferLog(), 1000), 600);

    // Another erase already running: nothing is sent.
    ASSERT_TRUE(simulator.setFault(0, "stall", "off"));
    state.flags().eraseRunning.store(true);
    simulator.clearFrames(0);
    EXPECT_EQ(eraseChip(context(), true), 0);
    EXPECT_TRUE(simulator.frames(0).empty());
    state.flags().eraseRunning.store(false);
}

// A read the programmer does not take, or whose data stops coming, gives up
// after 5 s of virtual time with the USB error.
TEST_F(ChipJobTest, AStalledReadGivesUpAfterFiveSeconds) {
    state.command(kCmdAutoIdentify);  // every read and command is the job's own
    ASSERT_FALSE(state.autoIdentifyOn());
    using Record = sim::TransferRecord;
    const auto isCommand = [](const Record& r) {
        return r.call == sim::UsbCall::InterruptWrite && r.size == 20 && r.data.size() > 1 &&
               (r.data[1] & 0x3F) == cmd::kRead;
    };
    const auto isData = [](const Record& r) {
        return r.call == sim::UsbCall::BulkRead && r.size == 8192;
    };
    simulator.clearTransferLog();
    ASSERT_EQ(readChip(context()), 1);
    auto log = simulator.transferLog();
    const auto first = std::find_if(log.begin(), log.end(), isData);
    ASSERT_NE(first, log.end());
    const auto readsBefore = std::count_if(
        log.begin(), first, [](const auto& r) { return r.call == sim::UsbCall::BulkRead; });
    state.link().drainUntilQuiet();

    const struct {
        const char* name;
        const char* fault;
        std::string value;
        bool (*waited)(const Record&);
    } cases[] = {{"command not taken", "refuse", "13:1", +isCommand},
                 {"data not coming", "stall", "1@" + std::to_string(readsBefore), +isData}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(simulator.setFault(0, c.fault, c.value));
        simulator.clearTransferLog();
        EXPECT_EQ(readChip(context()), 0);
        EXPECT_EQ(status(), "USB error!");
        log = simulator.transferLog();
        const auto stalled = std::find_if(log.begin(), log.end(), c.waited);
        ASSERT_NE(stalled, log.end());
        ASSERT_NE(stalled, log.begin());
        EXPECT_LT(stalled->result, 0);
        EXPECT_EQ(stalled->timeMs - (stalled - 1)->timeMs, 5000) << "virtual milliseconds";
        state.link().drainUntilQuiet();
    }
}

// Each way a job can fail says why, in the failure colour; the reason is the
// job's own, not what an earlier step left on the status line.
TEST_F(ChipJobTest, EachFailureSaysWhy) {
    struct Case {
        const char* name;
        std::uint8_t (*job)(JobContext&);
        const char* fault;  // simulator fault, or "empty" for an empty socket
        const char* value;
        const char* status;
        bool beep;
    };
    const auto read = +[](JobContext& c) { return readChip(c); };
    const auto program = +[](JobContext& c) { return programChip(c, true); };
    const auto erase = +[](JobContext& c) { return eraseChip(c, true); };
    const auto blank = +[](JobContext& c) { return blankCheckChip(c); };
    const auto verify = +[](JobContext& c) { return verifyChip(c, true); };
    const Case cases[] = {
        {"read refused", read, "refuse", "13:1", "USB error!", true},
        {"read cut off", read, "failed_reads", "1@4", "USB error!", true},
        {"read, chip pulled", read, "pull_chip_after", "100000",
         "The chip left the socket or was changed during the job: the result does not count!",
         true},
        {"program not opened", program, "refuse", "1:1", "USB error!", true},
        {"program count refused", program, "refuse", "2:1", "USB error!", true},
        {"program unplugged", program, "unplug_after", "20000", "USB error!", true},
        {"erase refused", erase, "refuse", "5:always", "USB error!", true},
        {"blank refused", blank, "refuse", "15:1", "USB error!", true},
        {"blank, no reply", blank, "stall", "always@2", "Blank check failed!", false},
        {"verify refused", verify, "refuse", "8:1", "USB error!", true},
        {"verify cut off", verify, "failed_reads", "1@4", "USB error!", true},
        {"program, socket probe unanswered", program, "stall", "1@1", "USB error!", true},
    };
    state.command(kCmdAutoIdentify);  // every read and command is the job's own
    ASSERT_FALSE(state.autoIdentifyOn());
    const auto bytes = randomBytes(30000, 7);
    loadData(bytes);
    const auto model = *simulator.chip(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!simulator.plugged(0)) {
            ASSERT_TRUE(simulator.plug(0));
        }
        if (!simulator.chip(0)) {
            ASSERT_TRUE(simulator.insertChip(0, model));
        }
        auto contents = randomBytes(512 * 1024, 3);
        std::copy(bytes.begin(), bytes.end(), contents.begin());
        ASSERT_TRUE(simulator.loadChipContents(0, contents));
        state.link().drainUntilQuiet();
        ASSERT_TRUE(simulator.setFault(0, c.fault, c.value));
        frontend.clearRecord();
        state.panel().setText(kStatusLine, "");
        EXPECT_EQ(c.job(context()), 0);
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        EXPECT_EQ(frontend.beeps().empty(), !c.beep);
        EXPECT_FALSE(state.panel().visible(kProgressBar)) << "no bar left standing";
        ASSERT_TRUE(simulator.setFault(0, "clear", "1"));
    }

    // An empty socket: no job runs on what floats on the data lines.
    if (simulator.chip(0)) {
        ASSERT_TRUE(simulator.removeChip(0));
    }
    for (auto job : {read, program, erase, blank, verify}) {
        simulator.clearFrames(0);
        state.panel().setText(kStatusLine, "");
        EXPECT_EQ(job(context()), 0);
        EXPECT_EQ(status(), "No answer!");
        for (const auto& frame : simulator.frames(0)) {
            const int code = frame[1] & 0x3F;
            EXPECT_TRUE(code == cmd::kReadIdentity || code == cmd::kEndOfOperation ||
                        code == cmd::kCarryParameters)
                << "command " << code << " reached an empty socket";
        }
    }
}

TEST_F(ChipJobTest, APartWithoutRdidIsProbedByResAndKeepsItsWriteMethod) {
    useChip("spi-flash:size=512K,rems=00BF44,program=byte", "SST25VF040");
    const auto bytes = randomBytes(5000, 9);
    loadData(bytes);
    ASSERT_EQ(eraseChip(context(), true), 1) << status();
    ASSERT_EQ(programChip(context(), true), 1) << status();
    EXPECT_EQ(verifyChip(context(), true), 1) << status();
    const auto contents = chip();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), contents.begin()));
    EXPECT_EQ(state.selection().parameterBlock().bytes[3], 0x01) << "byte program";
}

// A chip named by hand is checked against the socket; the named chip stays selected.
TEST_F(ChipJobTest, ANamedChipIsCheckedAgainstTheSocketFamily) {
    struct Case {
        const char* socket;  // simulated chip, or "" for an empty socket
        const char* named;
        SocketFit fit;
    };
    const Case cases[] = {
        {"", "W25X40", SocketFit::NoChip},
        {"W25X40", "24C02", SocketFit::OtherFamily},
        {"AT24C02", "W25X40", SocketFit::OtherFamily},
        {"AT24C02", "24C16", SocketFit::Fits},
        {"W25X40", "W25Q32FV", SocketFit::Fits},
        {"spi-flash:size=512K,id=C84013", "W25X40", SocketFit::Fits},  // an ID not listed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.socket) + " / " + c.named);
        if (*c.socket) {
            useChip(c.socket, c.named);
        } else {
            useChip("W25X40", c.named);
            ASSERT_TRUE(simulator.removeChip(0));
        }
        state.panel().setText(kStatusLine, "");
        EXPECT_EQ(checkNamedChip(context()), c.fit);
        EXPECT_EQ(state.selection().selectedDevice(), c.named);
        EXPECT_FALSE(state.flags().chipChanged.load());
        if (c.fit == SocketFit::OtherFamily) {
            EXPECT_NE(status().find("nothing was done"), std::string::npos) << status();
            EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        }
        if (!simulator.chip(0)) {
            ASSERT_TRUE(simulator.insertChip(0, *sim::builtinChip("W25X40")));
        }
    }
    ASSERT_TRUE(simulator.unplug(0));
    EXPECT_EQ(checkNamedChip(context()), SocketFit::NoProgrammer);
    ASSERT_TRUE(simulator.plug(0));
}

TEST_F(ChipJobTest, AStopLeftFromAnEarlierRunDoesNotStopTheNext) {
    loadData(randomBytes(5000, 8));
    state.flags().stopProgram.store(true);
    EXPECT_EQ(programChip(context(), true), 1);
    state.flags().stopRead.store(true);
    EXPECT_EQ(readChip(context()), 1);
    state.flags().stopErase.store(true);
    EXPECT_EQ(eraseChip(context(), true), 1);
}

}  // namespace
}  // namespace nyra
