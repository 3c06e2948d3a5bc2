// SPDX-License-Identifier: GPL-3.0-or-later
// The OTP jobs against the simulated security areas: detection and the
// window states it leaves, what program writes and in which order, the lock
// only when asked for and allowed, read, save, verify and blank check.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "ops/otp_jobs.h"
#include "otp/otp_window.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

constexpr const char* kOtpTexts =
    "25=Cannot open the file!\r\n26=Read done!\r\n130=OTP detect:\r\n131= (shared ID)\r\n"
    "132=Has OTP\r\n133=OTP size:\r\n134=Locked\r\n135=Writable\r\n136=No status!\r\n"
    "137=No OTP mode!\r\n138=Lock state unknown, writable\r\n139=No parameters!\r\n"
    "140=No OTP area!\r\n141=Not blank. Program anyway?\r\n142=Program failed!\r\n"
    "143=Locked now!\r\n144=Lock failed!\r\n145= Programmed!\r\n146=Read failed!\r\n"
    "147=Verify failed:\r\n148=file\r\n149=chip\r\n150=Not blank:\r\n151=Blank!\r\n"
    "198=saved\r\n";

constexpr const char* kOtpCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25X40:256:4:512KB:N:300:EF3013:00EF12:3.3V:000\r\n"
    "@W25Q32FV:256:4:4MB:N:300:EF4016:00EF15:3.3V:000\r\n"
    "#GIGADEVICE:\r\n@GD25Q32:256:4:4MB:N:300:C84016:00C815:3.3V:000\r\n"
    "#SPANSION:\r\n@S25FL032P:256:4:4MB:N:300:010215:000115:3.3V:000\r\n";

// The OTP window as the jobs see it, with what they set.
class RecordingPort final : public OtpPort {
public:
    void setLog(const std::string& text) override { log = text; }
    void appendLog(const std::string& text) override { log += text; }
    void setLockBox(bool on, std::optional<bool> tick) override {
        if (tick)
            lockTick = *tick;
        lockEnabled = on;
    }
    void enableProgram(bool on) override { program = on; }
    void enableReadVerifyBlank(bool on) override { readVerifyBlank = on; }
    void enableSave(bool on) override { save = on; }
    std::string filePath() const override { return file; }
    bool lockTicked() const override { return lockTick && lockEnabled; }

    std::string log, file;
    bool lockEnabled = false, lockTick = false, program = false, readVerifyBlank = false,
         save = false;
};

class OtpJobsTest : public ops_test::ChipJobTest {
protected:
    std::string itextFile() const override { return std::string(ops_test::kJobItext) + kOtpTexts; }
    std::string catalogueFile() const override { return kOtpCatalogue; }
    void SetUp() override {
        dir.write("ftext.ini", "[ftext]\r\n43=Type:\r\n");
        ChipJobTest::SetUp();
    }
    void useFlash(const std::string& simulated) {
        const auto model = sim::parseChipDescription(simulated, nullptr);
        ASSERT_TRUE(model) << simulated;
        ASSERT_TRUE(simulator.swapChip(0, *model));
    }
    OtpJobContext otp() { return {context(), port, otpState}; }
    int detect() {
        auto c = otp();
        return detectOtp(c, true);
    }
    // Runs a job as the worker would; its result.
    std::uint8_t run(std::uint8_t (*job)(OtpJobContext&)) {
        auto c = otp();
        return job(c);
    }
    std::string file(const std::string& name, std::size_t size, std::uint8_t first = 0) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(first + i);
        return dir.write(name, bytes);
    }
    // The OTP writes the programmer took: address and length of each.
    std::vector<std::pair<unsigned, unsigned>> writes() {
        std::vector<std::pair<unsigned, unsigned>> found;
        for (const auto& r : simulator.transferLog(0)) {
            if (r.call == sim::UsbCall::InterruptWrite && r.size == 45 && r.result == 45 &&
                r.data.size() >= 7 && r.data[2] == otp_op::kWrite)
                found.emplace_back(r.data[3] | (r.data[4] << 8), r.data[5] | (r.data[6] << 8));
        }
        return found;
    }
    std::vector<std::uint8_t> area() { return simulator.otpContents(0); }
    // The OTP frames (16 and 45 bytes) the job offered the programmer, taken or not.
    std::vector<sim::TransferRecord> otpFrames() {
        std::vector<sim::TransferRecord> found;
        for (const auto& r : simulator.transferLog(0)) {
            if (r.call == sim::UsbCall::InterruptWrite && (r.size == 16 || r.size == 45) &&
                r.data.size() > 2 && r.data[0] == kFrameStart)
                found.push_back(r);
        }
        return found;
    }

    RecordingPort port;
    OtpState otpState;
};

TEST_F(OtpJobsTest, AChipOutsideTheTableLeavesEveryActionDisabled) {
    EXPECT_EQ(detect(), kOtpNotFound);
    EXPECT_EQ(port.log, "OTP detect:\r\nType:W25X40\r\nNo OTP area!");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "No OTP area!");
    EXPECT_FALSE(port.program || port.readVerifyBlank || port.lockEnabled);
    EXPECT_TRUE(frontend.beeps().empty()) << "no beep when the table has no entry";
    EXPECT_EQ(run(readOtp), 0);
    EXPECT_EQ(run(blankCheckOtp), 0);
}

TEST_F(OtpJobsTest, DetectReportsTheAreaAndItsLockState) {
    useFlash("W25Q32FV");
    EXPECT_EQ(detect(), kOtpReady);
    EXPECT_EQ(port.log,
              "OTP detect:\r\nType:W25Q32FV\r\nHas OTP\r\nOTP size:768bytes,不支持W25Q32BV"
              "\r\nWritable(00)");
    EXPECT_TRUE(port.program && port.readVerifyBlank && port.lockEnabled);
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Information});

    ASSERT_TRUE(simulator.lockOtp(0));
    port.lockTick = false;
    EXPECT_EQ(detect(), kOtpLocked);
    EXPECT_NE(port.log.find("\r\nLocked("), std::string::npos) << port.log;
    EXPECT_TRUE(port.lockTick) << "shown ticked";
    EXPECT_FALSE(port.lockEnabled);
    EXPECT_FALSE(port.program);
    EXPECT_TRUE(port.readVerifyBlank);
    EXPECT_EQ(run(programOtp), 0) << "a locked area refuses program";
}

TEST_F(OtpJobsTest, AGroupWithoutLockStateIsWritableButNeverLocked) {
    useFlash("spi-flash:size=4M,id=010215");
    port.lockEnabled = true;  // as a chip with a lock state left it
    EXPECT_EQ(detect(), kOtpReady);
    EXPECT_NE(port.log.find("OTP size:512bytes,"), std::string::npos) << port.log;
    EXPECT_TRUE(port.log.ends_with("\r\nLock state unknown, writable")) << port.log;
    EXPECT_FALSE(port.lockEnabled);
    EXPECT_TRUE(port.program && port.readVerifyBlank);
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Simple});

    port.lockTick = true;  // even a ticked box does not lock this group
    port.file = file("area.bin", 512, 0x40);
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 1) << port.log;
    EXPECT_FALSE(simulator.otpLocked(0));
    EXPECT_EQ(port.log.find("Locked now!"), std::string::npos);
    // The deferred bytes come last, each range in one write.
    const auto all = writes();
    ASSERT_EQ(all.size(), 16u + 3u);
    EXPECT_EQ(all[0], (std::pair<unsigned, unsigned>{0x100, 32}));
    EXPECT_EQ(all[16], (std::pair<unsigned, unsigned>{0x100, 2}));
    EXPECT_EQ(all[17], (std::pair<unsigned, unsigned>{0x112, 2}));
    EXPECT_EQ(all[18], (std::pair<unsigned, unsigned>{0x214, 2}));
    const auto written = area();
    ASSERT_EQ(written.size(), 512u);
    for (std::size_t i = 0; i < 512; ++i)
        ASSERT_EQ(written[i], static_cast<std::uint8_t>(0x40 + i)) << i;
}

TEST_F(OtpJobsTest, ProgramWritesTheFileCutToTheAreaInStepsOf32) {
    useFlash("W25Q32FV");
    port.file = file("small.bin", 100);
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 1);
    EXPECT_EQ(writes(),
              (std::vector<std::pair<unsigned, unsigned>>{{0, 32}, {32, 32}, {64, 32}, {96, 4}}));
    EXPECT_EQ(area()[99], 99);
    EXPECT_EQ(area()[100], 0xFF);
    EXPECT_TRUE(port.log.ends_with("\r\n.... Programmed!")) << port.log;
    EXPECT_FALSE(simulator.otpLocked(0)) << "the box was not ticked";

    // A used area asks first; No writes nothing.
    frontend.answerBox(BoxAnswer::No);
    simulator.clearTransferLog();
    port.file = file("long.bin", 2000, 7);
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(writes().empty());
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_EQ(frontend.boxes().back().text, "Not blank. Program anyway?");
}

TEST_F(OtpJobsTest, ALongFileFillsTheAreaAndNoMore) {
    useFlash("W25Q32FV");
    port.file = file("long.bin", 2000, 7);
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 1);
    unsigned total = 0;
    for (const auto& [address, length] : writes())
        total += length;
    EXPECT_EQ(total, 768u);

    useFlash("GD25Q32");
    port.file = file("huge.bin", 65546, 1);
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 1);
    total = 0;
    for (const auto& [address, length] : writes())
        total += length;
    EXPECT_EQ(total, 1024u);
    EXPECT_EQ(area()[1023], static_cast<std::uint8_t>(1 + 1023));
}

TEST_F(OtpJobsTest, TheLockComesOnlyWhenTickedAndAllowed) {
    for (const bool ticked : {false, true}) {
        SCOPED_TRACE(ticked);
        useFlash("W25Q32FV");  // a fresh chip
        port.file = file("a.bin", 40);
        port.lockTick = ticked;
        EXPECT_EQ(run(programOtp), 1);
        EXPECT_EQ(simulator.otpLocked(0), ticked);
        EXPECT_EQ(port.log.find("Locked now!") != std::string::npos, ticked) << port.log;
    }
    // Locked since: program ends at detection, and the tick changes nothing.
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(writes().empty());
}

TEST_F(OtpJobsTest, ReadSaveVerifyAndBlankCheck) {
    useFlash("spi-flash:size=4M,id=010215");
    EXPECT_EQ(run(blankCheckOtp), 1);
    EXPECT_TRUE(port.log.ends_with("\r\n................\r\nBlank!")) << port.log;
    EXPECT_FALSE(port.save) << "a blank check offers nothing to save";

    // The verify line names the address, both bytes and whose they are.
    std::string bytes(6, '\xFF');
    bytes[5] = '\x3C';
    port.file = dir.write("v.bin", bytes);
    EXPECT_EQ(run(verifyOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nVerify failed:105H:3CH[file]!=FFH[chip]")) << port.log;

    std::vector<std::uint8_t> content(512);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(simulator.loadOtpContents(0, content));
    EXPECT_EQ(run(blankCheckOtp), 0);
    EXPECT_NE(port.log.find("\r\nNot blank:100H:00H"), std::string::npos) << port.log;

    EXPECT_EQ(run(readOtp), 1);
    EXPECT_TRUE(port.save);
    EXPECT_EQ(otpState.dataLength, 512);
    frontend.chooseFile(dir.folder() + "/out.bin");
    EXPECT_EQ(run(saveOtp), 1);
    EXPECT_EQ(dir.read("out.bin"), std::string(content.begin(), content.end()));
    EXPECT_FALSE(port.save);
    EXPECT_EQ(otpState.dataLength, 0);
    EXPECT_TRUE(port.log.ends_with(",saved"));

    // After a verify of the first bytes, save writes what the chip holds, all of it.
    port.file = dir.write("head.bin", std::string(content.begin(), content.begin() + 40));
    otpState.data.fill(0xEE);
    EXPECT_EQ(run(verifyOtp), 1);
    EXPECT_TRUE(port.save);
    frontend.chooseFile(dir.folder() + "/verified.bin");
    EXPECT_EQ(run(saveOtp), 1);
    EXPECT_EQ(dir.read("verified.bin"), std::string(content.begin(), content.end()));
}

TEST_F(OtpJobsTest, EveryFailureAfterABegunAccessEndsIt) {
    useFlash("W25Q32FV");
    const auto ends = [this] {
        int begun = 0, ended = 0;
        for (const auto& r : simulator.transferLog(0)) {
            if (r.call == sim::UsbCall::InterruptWrite && r.size == 16 && r.data.size() > 2) {
                begun += r.data[2] == otp_op::kBegin;
                ended += r.data[2] == otp_op::kEnd;
            }
        }
        return std::pair{begun, ended};
    };
    std::string error;
    // A write refused half-way: the log says so and the access is ended.
    port.file = file("a.bin", 100);
    ASSERT_TRUE(simulator.setFault(0, "otp_write_fails", "1@2", &error)) << error;
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(port.log.ends_with("..\r\nProgram failed!")) << port.log;
    auto [begun, ended] = ends();
    EXPECT_EQ(begun, ended);
    EXPECT_GT(begun, 0);

    // A short reply to a read: the read fails and the access is ended.
    useFlash("W25Q32FV");
    ASSERT_TRUE(simulator.setFault(0, "otp_short_reply", "1@4", &error)) << error;
    simulator.clearTransferLog();
    EXPECT_EQ(run(readOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nRead failed!")) << port.log;
    EXPECT_FALSE(port.save);
    std::tie(begun, ended) = ends();
    EXPECT_EQ(begun, ended);

    // The status refused after the access began: detect says so and ends it.
    ASSERT_TRUE(simulator.setFault(0, "otp_refuse", "1@2", &error)) << error;
    simulator.clearTransferLog();
    frontend.clearRecord();
    EXPECT_EQ(detect(), kOtpNoStatus);
    EXPECT_TRUE(port.log.ends_with("\r\nNo status!")) << port.log;
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Simple});
    std::tie(begun, ended) = ends();
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(ended, 1);

    // A failed read during verify fails it, without offering a save.
    useFlash("W25Q32FV");
    port.file = dir.write("v.bin", std::string(100, '\xFF'));
    ASSERT_TRUE(simulator.setFault(0, "otp_short_reply", "1@4", &error)) << error;
    port.save = true;
    EXPECT_EQ(run(verifyOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nVerify failed:(USB error)")) << port.log;
    EXPECT_FALSE(port.save);

    // A success ends its access too.
    simulator.clearTransferLog();
    EXPECT_EQ(run(blankCheckOtp), 1);
    std::tie(begun, ended) = ends();
    EXPECT_EQ(begun, ended);
}

// A begin that was sent but not answered may have put the programmer in OTP
// mode all the same: every job that needs the access ends it before it gives up.
TEST_F(OtpJobsTest, AnUnansweredBeginIsEndedAllTheSame) {
    const std::pair<const char*, std::uint8_t (*)(OtpJobContext&)> jobs[] = {
        {"read", readOtp}, {"verify", verifyOtp}, {"blank check", blankCheckOtp}};
    for (const auto& [name, job] : jobs) {
        SCOPED_TRACE(name);
        useFlash("W25Q32FV");
        port.file = file("v.bin", 16);
        // Detection's begin, status and end are answered; the job's own begin is not.
        std::string error;
        ASSERT_TRUE(simulator.setFault(0, "otp_short_reply", "1@3", &error)) << error;
        simulator.clearTransferLog();
        EXPECT_EQ(run(job), 0);
        std::vector<std::uint8_t> ops;
        for (const auto& r : otpFrames())
            ops.push_back(r.data[2]);
        ASSERT_GE(ops.size(), 2u);
        EXPECT_EQ(ops[ops.size() - 2], otp_op::kBegin);
        EXPECT_EQ(ops.back(), otp_op::kEnd) << "the access is ended before the job gives up";
        EXPECT_EQ(std::count(ops.begin(), ops.end(), otp_op::kBegin),
                  std::count(ops.begin(), ops.end(), otp_op::kEnd));
    }
}

// Every OTP frame waits 100 ms to be taken, a write 2 s; a write the
// programmer never takes fails the program after exactly that wait.
TEST_F(OtpJobsTest, OtpFramesWaitTheirTimeToBeTaken) {
    useFlash("W25Q32FV");
    port.file = file("a.bin", 40);
    port.lockTick = true;
    simulator.clearTransferLog();
    ASSERT_EQ(run(programOtp), 1) << port.log;
    ASSERT_EQ(run(readOtp), 1) << port.log;
    std::map<int, std::set<int>> waits;  // operation: the time-outs it was sent with
    std::size_t beforeFirstWrite = 0;
    bool written = false;
    for (const auto& r : otpFrames()) {
        waits[r.data[2]].insert(r.timeout);
        written = written || r.data[2] == otp_op::kWrite;
        beforeFirstWrite += written ? 0 : 1;
    }
    const std::set<int> shortWait{100};
    for (const std::uint8_t op : {otp_op::kParameters, otp_op::kBegin, otp_op::kStatus,
                                  otp_op::kRead, otp_op::kLock, otp_op::kEnd}) {
        EXPECT_EQ(waits[op], shortWait) << int{op};
    }
    EXPECT_EQ(waits[otp_op::kWrite], std::set<int>{2000});

    useFlash("W25Q32FV");
    std::string error;
    ASSERT_TRUE(
        simulator.setFault(0, "otp_refuse", "1@" + std::to_string(beforeFirstWrite), &error))
        << error;
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nProgram failed!")) << port.log;
    const auto log = simulator.transferLog(0);
    const auto refused = std::find_if(log.begin(), log.end(), [](const auto& r) {
        return r.call == sim::UsbCall::InterruptWrite && r.size == 45 && r.result < 0;
    });
    ASSERT_NE(refused, log.end());
    ASSERT_NE(refused, log.begin());
    EXPECT_EQ(refused->timeMs - (refused - 1)->timeMs, 2000) << "virtual milliseconds";
}

TEST_F(OtpJobsTest, AFailedProtectionByteWriteFailsTheProgram) {
    useFlash("spi-flash:size=4M,id=010215");
    std::string error;
    // The 16 steps go through; the first deferred range's write is refused.
    ASSERT_TRUE(simulator.setFault(0, "otp_write_fails", "1@16", &error)) << error;
    port.file = file("area.bin", 512, 0x40);
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nProgram failed!")) << port.log;
    EXPECT_TRUE(port.readVerifyBlank) << "the group without lock state is still readable";
}

TEST_F(OtpJobsTest, ALockedAreaIsStillReadVerifiedAndChecked) {
    useFlash("W25Q32FV");
    ASSERT_TRUE(simulator.lockOtp(0));
    EXPECT_EQ(run(readOtp), 1);
    EXPECT_EQ(otpState.dataLength, 768);
    EXPECT_EQ(run(blankCheckOtp), 1);
    port.file = dir.write("ff.bin", std::string(10, '\xFF'));
    EXPECT_EQ(run(verifyOtp), 1);
    // Nothing read since the last save: save offers nothing.
    frontend.chooseFile(dir.folder() + "/s.bin");
    EXPECT_EQ(run(saveOtp), 1);
    port.save = true;
    EXPECT_EQ(run(saveOtp), 0);
    EXPECT_FALSE(port.save);
}

TEST_F(OtpJobsTest, DetectFailuresBeepAndLeaveTheirLine) {
    // No chip: the log shows only the placeholder, with no beep.
    ASSERT_TRUE(simulator.removeChip(0));
    port.log = "old";
    EXPECT_EQ(detect(), kOtpNotFound);
    EXPECT_EQ(port.log, "NULL");
    EXPECT_TRUE(frontend.beeps().empty());

    useFlash("W25Q32FV");
    std::string error;
    ASSERT_TRUE(simulator.setFault(0, "otp_refuse", "1", &error)) << error;
    frontend.clearRecord();
    EXPECT_EQ(detect(), kOtpNoParameters);
    EXPECT_TRUE(port.log.ends_with("\r\nNo parameters!")) << port.log;
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Simple});

    ASSERT_TRUE(simulator.setFault(0, "otp_refuse", "1@1", &error)) << error;
    frontend.clearRecord();
    EXPECT_EQ(detect(), kOtpNoAccess);
    EXPECT_TRUE(port.log.ends_with("\r\nNo OTP mode!")) << port.log;
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Simple});
    EXPECT_FALSE(port.program || port.readVerifyBlank);
    // Run inside another job, detect does not beep.
    frontend.clearRecord();
    ASSERT_TRUE(simulator.setFault(0, "otp_refuse", "1@1", &error)) << error;
    EXPECT_EQ(run(readOtp), 0);
    EXPECT_TRUE(frontend.beeps().empty());
}

TEST_F(OtpJobsTest, BlankCheckReportsAFailedReadAndBeepsOnSuccess) {
    useFlash("W25Q32FV");
    std::string error;
    // The fourth reply is the blank check's first read.
    ASSERT_TRUE(simulator.setFault(0, "otp_short_reply", "1@4", &error)) << error;
    EXPECT_EQ(run(blankCheckOtp), 0);
    EXPECT_TRUE(port.log.ends_with("\r\nNot blank:(USB error)")) << port.log;
    frontend.clearRecord();
    EXPECT_EQ(run(blankCheckOtp), 1);
    EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Information});
    EXPECT_EQ(otpState.dataLength, 768) << "the size is kept, save stays off";
    EXPECT_FALSE(port.save);

    // A used area: the question comes with the notice caption.
    ASSERT_TRUE(simulator.loadOtpContents(0, std::vector<std::uint8_t>{0x00}));
    port.file = file("a.bin", 4);
    frontend.answerBox(BoxAnswer::No);
    frontend.clearRecord();
    EXPECT_EQ(run(programOtp), 0);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].buttons, BoxButtons::YesNo);
}

// The lock box of the real window: a tick the program set to show a locked
// chip, or one left from an earlier chip, never locks the chip in the socket.
TEST_F(OtpJobsTest, OnlyTheUsersTickForTheChipInTheSocketLocksIt) {
    OtpWindow window([](int) {}, frontend, context().texts);
    window.open();
    OtpJobContext c{context(), window, otpState};
    const auto tickByHand = [&] {
        ASSERT_TRUE(window.panel().enabled(otp_ids::kLock));
        window.panel().setChecked(otp_ids::kLock, true);
    };
    const auto locksOnProgram = [&](const char* why) {
        EXPECT_EQ(programOtp(c), 1) << why << ": " << window.panel().text(otp_ids::kLog);
        return simulator.otpLocked(0);
    };
    frontend.chooseFile(file("a.bin", 40));
    window.press(otp_ids::kOpen);

    useFlash("W25Q32FV");
    ASSERT_TRUE(simulator.lockOtp(0));
    EXPECT_EQ(detectOtp(c, false), kOtpLocked);
    EXPECT_TRUE(window.panel().checked(otp_ids::kLock)) << "a locked chip is shown ticked";
    EXPECT_FALSE(window.panel().enabled(otp_ids::kLock));
    EXPECT_FALSE(window.lockTicked());

    useFlash("W25Q32FV");  // a fresh chip in its place
    EXPECT_EQ(detectOtp(c, false), kOtpReady);
    EXPECT_TRUE(window.panel().enabled(otp_ids::kLock));
    EXPECT_FALSE(window.panel().checked(otp_ids::kLock));
    EXPECT_FALSE(locksOnProgram("after the locked chip's detection"));

    // The same when the fresh chip is met by another job's own detection.
    ASSERT_TRUE(simulator.lockOtp(0));
    EXPECT_EQ(detectOtp(c, false), kOtpLocked);
    useFlash("W25Q32FV");
    EXPECT_EQ(readOtp(c), 1);
    EXPECT_FALSE(window.panel().checked(otp_ids::kLock));
    EXPECT_FALSE(locksOnProgram("after a read of the fresh chip"));

    // A tick given before a detection was for the chip before it.
    useFlash("W25Q32FV");
    EXPECT_EQ(detectOtp(c, false), kOtpReady);
    tickByHand();
    EXPECT_EQ(detectOtp(c, false), kOtpReady);
    EXPECT_FALSE(window.lockTicked());
    EXPECT_FALSE(locksOnProgram("ticked before the last detection"));

    useFlash("W25Q32FV");
    EXPECT_EQ(detectOtp(c, false), kOtpReady);
    tickByHand();
    EXPECT_TRUE(locksOnProgram("ticked for this chip"));
}

TEST_F(OtpJobsTest, AnEmptyFileIsRefusedBeforeTheChipIsTouched) {
    useFlash("W25Q32FV");
    port.file = dir.write("e.bin", "");
    port.lockTick = true;
    port.lockEnabled = true;
    simulator.clearTransferLog();
    for (const auto job : {programOtp, verifyOtp}) {
        frontend.clearRecord();
        EXPECT_EQ(run(job), 0);
        ASSERT_EQ(frontend.boxes().size(), 1u);
        EXPECT_EQ(frontend.boxes()[0].text, "The OTP file is empty: nothing was done!");
    }
    EXPECT_TRUE(otpFrames().empty());
    EXPECT_FALSE(simulator.otpLocked(0));
    EXPECT_TRUE(port.log.find("Verify") == std::string::npos) << port.log;
}

TEST_F(OtpJobsTest, AFailedReadInProgramsBlankCheckIsAnErrorNotAQuestion) {
    useFlash("W25Q32FV");
    std::string error;
    // The seventh reply is a read of program's blank check.
    ASSERT_TRUE(simulator.setFault(0, "otp_short_reply", "1@7", &error)) << error;
    port.file = file("a.bin", 40);
    frontend.answerBox(BoxAnswer::Yes);
    simulator.clearTransferLog();
    EXPECT_EQ(run(programOtp), 0);
    EXPECT_TRUE(frontend.boxes().empty()) << frontend.boxes()[0].text;
    EXPECT_TRUE(port.log.ends_with("\r\nNot blank:(USB error)")) << port.log;
    EXPECT_TRUE(writes().empty());
}

}  // namespace
}  // namespace nyra
