// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware upgrade through the simulated boot loader, in virtual time:
// what the boot loader receives, what the window's bar says, and the text of
// every way it can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "device/firmware_image.h"
#include "ops/firmware_jobs.h"
#include "ops/job_texts.h"
#include "unit/ops/firmware_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::FirmwareJobTest;

// One 4-byte boot-loader frame as the programmer received it.
struct BootFrame {
    std::uint8_t operation;
    std::uint8_t value;
};

std::vector<BootFrame> bootFrames(const sim::Simulator& simulator) {
    std::vector<BootFrame> frames;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::InterruptWrite && r.size == 4 && r.result == 4 &&
            r.data.size() == 4)
            frames.push_back({r.data[1], r.data[2]});
    }
    return frames;
}

std::vector<std::uint8_t> operations(const std::vector<BootFrame>& frames) {
    std::vector<std::uint8_t> ops;
    for (const auto& f : frames)
        ops.push_back(f.operation);
    return ops;
}

std::vector<int> streamChunks(const sim::Simulator& simulator) {
    std::vector<int> sizes;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkWrite)
            sizes.push_back(r.size);
    }
    return sizes;
}

TEST_F(FirmwareJobTest, AnUpgradeRunsThroughItsPhasesAndTheNewVersionIsReported) {
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0x21));
    chooseFirmware(buildFirmwareFile(0x13, body(3000)));  // 3008 bytes: three blocks
    simulator.clearTransferLog();
    std::vector<std::string> labels;
    const auto token = window().panel().subscribe([&](const PanelChange& c) {
        if (c.id == kUpgradeProgress && c.property == PanelProperty::Text)
            labels.push_back(window().panel().text(kUpgradeProgress));
    });
    EXPECT_EQ(upgradeFirmware(context(), window()), 1);
    window().panel().unsubscribe(token);

    EXPECT_EQ(framesOf(cmd::kEnterUpgrade).size(), 1u);
    const auto frames = bootFrames(simulator);
    const std::vector<std::uint8_t> expected{
        boot::kHandshake, boot::kIdle,        boot::kIdle,     boot::kStart,       boot::kBlock,
        boot::kBlock,     boot::kBlock,       boot::kIdle,     boot::kStreamStart, boot::kStreamEnd,
        boot::kIdle,      boot::kStreamClose, boot::kReadBack, boot::kReadBack,    boot::kReadBack,
        boot::kIdle,      boot::kFinish,      boot::kLeave};
    EXPECT_EQ(operations(frames), expected);
    const auto file = buildFirmwareFile(0x13, body(3000));
    EXPECT_EQ(frames[16].value, file[file.size() - 4]) << "the last payload byte";
    // The handshake's reply is read with 50 ms, the boot loader's others with 1000 ms.
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkRead && r.size == 2) {
            EXPECT_EQ(r.timeout, 50);
        }
        if (r.call == sim::UsbCall::BulkRead && (r.size == 1 || r.size == 1024)) {
            EXPECT_EQ(r.timeout, 1000) << r.size;
        }
    }
    // 3008 bytes: 47 chunks of 64, and nothing more.
    EXPECT_EQ(streamChunks(simulator), std::vector<int>(47, 64));

    EXPECT_EQ(window().panel().text(kUpgradeProgress), "Upgrade done!");
    EXPECT_EQ(window().progressBar().position(), 100);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Ready to upgrade"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Erasing:100%"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Writing:100%"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Verifying:99%"), labels.end());
    // The read-back shows 99% at most; 100% comes with the finish, then the verdict.
    const auto full = std::find(labels.begin(), labels.end(), "Verifying:100%");
    ASSERT_NE(full, labels.end());
    EXPECT_EQ(*(full - 1), "Verifying:99%");
    EXPECT_EQ(std::vector<std::string>(full, labels.end()),
              (std::vector<std::string>{"Verifying:100%", "", "Upgrade done!"}));
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Information});
    EXPECT_FALSE(state.flags().upgradeRunning.load());
    EXPECT_TRUE(state.flags().programmerBlocked.load()) << "until the next identification";

    // The next full identification finds the programmer running again.
    EXPECT_EQ(showFirmwareVersion(context()), 0) << "still blocked";
    identifyAgain();
    EXPECT_FALSE(state.flags().programmerBlocked.load());
    frontend.clearRecord();
    EXPECT_EQ(showFirmwareVersion(context()), 1);
    EXPECT_NE(frontend.boxes().back().text.find("V2.3"), std::string::npos)
        << frontend.boxes().back().text;
}

// After the upgrade the programmer restarts: the success is in log.txt, and
// while it is away the status says that it restarts, not that it is lost,
// until it has had its time.
TEST_F(FirmwareJobTest, TheRestartAfterAnUpgradeIsSaidAndTheSuccessLogged) {
    chooseFirmware(fileOfLength(2500));
    ASSERT_EQ(upgradeFirmware(context(), window()), 1);
    EXPECT_EQ(state.panel().text(kStatusLine), "Upgrade done!");
    EXPECT_NE(dir.read("log.txt").find("Upgrade done!"), std::string::npos);

    ASSERT_TRUE(simulator.unplug(0));
    frontend.clearRecord();
    const std::string restarting = programmerRestartingText(state.texts());
    for (int notice = 0; notice < 4; ++notice) {
        clock.advance(1000);
        state.windowMessage(kMsgDeviceChange, 0);
        state.worker().waitUntilIdle();
        EXPECT_EQ(state.panel().text(kStatusLine), restarting);
        EXPECT_FALSE(state.panel().checked(kStatusLine)) << "not an alert";
    }
    const std::string log = dir.read("log.txt");
    EXPECT_EQ(log.find("no programmer"), std::string::npos) << log;
    EXPECT_EQ(log.find(restarting), log.rfind(restarting)) << "said once";
    EXPECT_TRUE(frontend.beeps().empty());

    // A programmer that has not come back in time is lost after all.
    clock.advance(15000);
    state.windowMessage(kMsgDeviceChange, 0);
    state.worker().waitUntilIdle();
    EXPECT_EQ(state.panel().text(kStatusLine), "no programmer");
    EXPECT_TRUE(state.panel().checked(kStatusLine));
}

// The programmer's own pace: the command into the boot loader waits 100 ms
// at most, and the read-back starts no sooner than 5 ms after the stream closed.
TEST_F(FirmwareJobTest, TheBootLoaderIsGivenItsTime) {
    chooseFirmware(fileOfLength(2500));
    simulator.clearTransferLog();
    ASSERT_EQ(upgradeFirmware(context(), window()), 1);
    std::optional<int> enterTimeout;
    std::optional<std::int64_t> closedAt, readBackAt;
    for (const auto& r : simulator.transferLog()) {
        if (r.call != sim::UsbCall::InterruptWrite || r.data.size() < 2)
            continue;
        if (r.size == static_cast<int>(kCommandFrameSize) &&
            (r.data[1] & 0x3F) == cmd::kEnterUpgrade && !enterTimeout)
            enterTimeout = r.timeout;
        if (r.size == 4 && r.data[1] == boot::kStreamClose)
            closedAt = r.timeMs;
        if (r.size == 4 && r.data[1] == boot::kReadBack && closedAt && !readBackAt)
            readBackAt = r.timeMs;
    }
    EXPECT_EQ(enterTimeout, 100);
    ASSERT_TRUE(closedAt && readBackAt);
    EXPECT_GE(*readBackAt - *closedAt, 5);
}

TEST_F(FirmwareJobTest, BlockNumbersCountBlocksOfTheWholeFileAndWrapPast255) {
    for (const auto& [bytes, blocks] :
         {std::tuple{1024u, 1u}, std::tuple{1025u, 2u}, std::tuple{300u * 1024, 300u}}) {
        chooseFirmware(fileOfLength(bytes));
        simulator.clearTransferLog();
        ASSERT_EQ(upgradeFirmware(context(), window()), 1) << bytes;
        std::vector<std::uint8_t> values;
        std::size_t readBacks = 0;
        for (const auto& f : bootFrames(simulator)) {
            if (f.operation == boot::kBlock)
                values.push_back(f.value);
            readBacks += f.operation == boot::kReadBack;
        }
        ASSERT_EQ(values.size(), blocks) << bytes;
        EXPECT_EQ(readBacks, blocks) << bytes;
        for (std::size_t k = 0; k < values.size(); ++k)
            ASSERT_EQ(values[k], static_cast<std::uint8_t>(k)) << k;
        identifyAgain();
    }
}

TEST_F(FirmwareJobTest, TheStreamEndsAfterItsFirstShortChunk) {
    // 64 × 20: no short chunk but the empty read; 64 × 20 + 1: a last chunk of one byte.
    for (const auto& [bytes, chunks] :
         {std::tuple{1280u, std::vector<int>(20, 64)}, std::tuple{1281u, [] {
                                                                      std::vector<int> v(20, 64);
                                                                      v.push_back(1);
                                                                      return v;
                                                                  }()}}) {
        chooseFirmware(fileOfLength(bytes));
        simulator.clearTransferLog();
        ASSERT_EQ(upgradeFirmware(context(), window()), 1) << bytes;
        EXPECT_EQ(streamChunks(simulator), chunks) << bytes;
        const auto ops = operations(bootFrames(simulator));
        const std::vector<std::uint8_t> close{boot::kStreamEnd, boot::kIdle, boot::kStreamClose};
        EXPECT_NE(std::search(ops.begin(), ops.end(), close.begin(), close.end()), ops.end());
        identifyAgain();
    }
}

// After command 21 the program waits 1000 ms, then looks for the programmer
// every 100 ms, in virtual time, until it gives up.
TEST_F(FirmwareJobTest, AProgrammerThatStaysAwayIsLookedForEvery100Ms) {
    chooseFirmware(fileOfLength(2500));
    ASSERT_TRUE(simulator.setFault(0, "no_reenumeration", "always"));
    simulator.clearTransferLog();
    EXPECT_EQ(upgradeFirmware(context(), window()), 0);
    const auto log = simulator.transferLog(sim::kAllRecords);
    const auto restart = std::find_if(log.begin(), log.end(), [](const auto& r) {
        return r.call == sim::UsbCall::InterruptWrite && r.size == 20 && r.data.size() > 1 &&
               (r.data[1] & 0x3F) == cmd::kEnterUpgrade;
    });
    const auto released = std::find_if(
        restart, log.end(), [](const auto& r) { return r.call == sim::UsbCall::ReleaseInterface; });
    ASSERT_NE(released, log.end());
    std::vector<std::int64_t> tries;  // ms after the release
    for (auto r = released; r != log.end(); ++r) {
        if (r->call == sim::UsbCall::Init)
            tries.push_back(r->timeMs - released->timeMs);
    }
    ASSERT_GT(tries.size(), 1u);
    EXPECT_EQ(tries[0], 1000 + 100);
    for (std::size_t i = 1; i < tries.size(); ++i)
        ASSERT_EQ(tries[i] - tries[i - 1], 100) << "try " << i;
}

// Where a failure says so: on the window's bar, on the status line (alert or
// not), in a box with its icon.
struct FailureRow {
    const char* name;
    const char* fault;
    const char* text;
    bool onBar;
    std::optional<StatusKind> status;
    std::optional<BoxIcon> box;
    bool idleAfter;  // operation 1 follows the failure
};

class UpgradeFailure : public FirmwareJobTest, public ::testing::WithParamInterface<FailureRow> {
protected:
    void expectReported(const FailureRow& row) {
        EXPECT_EQ(window().panel().text(kUpgradeProgress) == row.text, row.onBar)
            << window().panel().text(kUpgradeProgress);
        EXPECT_EQ(status() == row.text, row.status.has_value()) << status();
        if (row.status) {
            EXPECT_EQ(state.statusKind(), *row.status);
        }
        const auto boxes = frontend.boxes();
        ASSERT_EQ(boxes.size(), row.box ? 1u : 0u);
        if (row.box) {
            EXPECT_EQ(boxes[0].text, row.text);
            EXPECT_EQ(boxes[0].icon, *row.box);
            EXPECT_EQ(boxes[0].caption, "Notice");
        }
        EXPECT_FALSE(state.flags().upgradeRunning.load());
        EXPECT_TRUE(state.flags().programmerBlocked.load()) << "left set for identification";
        const auto ops = operations(bootFrames(simulator));
        if (row.idleAfter) {
            ASSERT_FALSE(ops.empty());
            EXPECT_EQ(ops.back(), boot::kIdle);
        }
    }
};

TEST_P(UpgradeFailure, EndsWithItsTextWhereItBelongsAndNeverAsDone) {
    const FailureRow& row = GetParam();
    chooseFirmware(fileOfLength(2500));
    ASSERT_TRUE(simulator.setFault(0, row.fault, "always"));
    simulator.clearTransferLog();
    frontend.clearRecord();
    EXPECT_EQ(upgradeFirmware(context(), window()), 0);
    expectReported(row);
}

constexpr auto kAlert = StatusKind::Alert;
constexpr auto kNormal = StatusKind::Normal;

INSTANTIATE_TEST_SUITE_P(
    UpgradeRows, UpgradeFailure,
    ::testing::Values(FailureRow{"NotBack", "no_reenumeration", "Programmer did not come back!",
                                 false, kAlert, BoxIcon::Warning, false},
                      FailureRow{"NoHandshake", "no_handshake", "No handshake!", true, std::nullopt,
                                 BoxIcon::Warning, true},
                      FailureRow{"WrongEcho", "wrong_start_echo", "Wrong start answer!", true,
                                 kAlert, std::nullopt, true},
                      FailureRow{"BlockAck", "block_ack_missing", "Block erase failed!", true,
                                 std::nullopt, BoxIcon::Error, true},
                      FailureRow{"StreamWrite", "stream_write_fails", "Write failed!", true,
                                 std::nullopt, BoxIcon::Error, true},
                      FailureRow{"ReadBackDiffers", "readback_differs", "Read-back differs!", true,
                                 std::nullopt, BoxIcon::Error, true},
                      FailureRow{"ReadBackShort", "short_readback", "Read-back short!", true,
                                 std::nullopt, BoxIcon::Error, true},
                      FailureRow{"FinishRefused", "wrong_finish_byte", "Finish refused!", false,
                                 kNormal, std::nullopt, true},
                      FailureRow{"NoFinish", "no_finish_reply", "No finish answer!", false, kNormal,
                                 std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

// No echo to the start at all: the read of operation 13's reply stalls.
TEST_F(UpgradeFailure, NoAnswerToTheStartIsItsOwnText) {
    chooseFirmware(fileOfLength(2500));
    simulator.clearTransferLog();
    ASSERT_EQ(upgradeFirmware(context(), window()), 1);
    const auto log = simulator.transferLog();
    const auto echo = std::find_if(log.begin(), log.end(), [](const auto& r) {
        return r.call == sim::UsbCall::BulkRead && r.size == 1 && r.timeout == 1000;
    });
    const auto reads = std::count_if(
        log.begin(), echo, [](const auto& r) { return r.call == sim::UsbCall::BulkRead; });
    identifyAgain();
    ASSERT_TRUE(simulator.setFault(0, "stall", "1@" + std::to_string(reads)));
    simulator.clearTransferLog();
    frontend.clearRecord();
    EXPECT_EQ(upgradeFirmware(context(), window()), 0);
    expectReported({"NoStart", "", "No start answer!", true, kAlert, std::nullopt, true});
}

TEST_F(FirmwareJobTest, AProgrammerAlreadyInItsBootLoaderStartsAtOnce) {
    chooseFirmware(fileOfLength(2048));
    ASSERT_TRUE(simulator.setFault(0, "wrong_finish_byte", "1"));
    ASSERT_EQ(upgradeFirmware(context(), window()), 0);
    ASSERT_TRUE(state.flags().programmerBlocked.load());

    // Still in the boot loader: no command 21, no handshake, straight to 1 and 13.
    simulator.clearFrames(0);
    simulator.clearTransferLog();
    EXPECT_EQ(upgradeFirmware(context(), window()), 1);
    EXPECT_TRUE(framesOf(cmd::kEnterUpgrade).empty());
    const auto ops = operations(bootFrames(simulator));
    ASSERT_GE(ops.size(), 2u);
    EXPECT_EQ(ops[0], boot::kIdle);
    EXPECT_EQ(ops[1], boot::kStart);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), boot::kHandshake), 0);
}

}  // namespace
}  // namespace nyra
