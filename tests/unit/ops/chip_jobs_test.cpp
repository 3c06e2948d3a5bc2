// SPDX-License-Identifier: GPL-3.0-or-later
// The chip jobs through the real link into the simulated programmer, in
// virtual time: what reaches the chip, what comes back, and what the user is told.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "app/file_access.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::ChipJobTest;
using ops_test::randomBytes;

TEST_F(ChipJobTest, FlashGetsOnlyTheFilesBytesAndReadsAndVerifiesBack) {
    const auto bytes = randomBytes(65536 + 100, 1);
    loadData(bytes);
    ASSERT_EQ(eraseChip(context(), true), 1);
    EXPECT_EQ(status().rfind("Erase ended!", 0), 0u);
    simulator.clearFrames(0);
    ASSERT_EQ(programChip(context(), true), 1);
    EXPECT_EQ(status().rfind("Done, written 65636 byte(s),0:", 0), 0u) << status();

    const auto contents = chip();
    ASSERT_EQ(contents.size(), 512u * 1024);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), contents.begin()));
    EXPECT_TRUE(std::all_of(contents.begin() + static_cast<std::ptrdiff_t>(bytes.size()),
                            contents.end(), [](std::uint8_t b) { return b == 0xFF; }));
    const auto ends = framesOf(cmd::kStreamEnd);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0][13], 0x00);  // 65636 = 00 01 00 64
    EXPECT_EQ(ends[0][14], 0x01);
    EXPECT_EQ(ends[0][15], 0x00);
    EXPECT_EQ(ends[0][16], 0x64);

    ASSERT_EQ(verifyChip(context(), true), 1);
    EXPECT_EQ(status().rfind("Verify OK!", 0), 0u);

    ASSERT_EQ(readChip(context()), 1);
    EXPECT_EQ(dir.read("u_mod0.dll"), std::string(contents.begin(), contents.end()));
    EXPECT_EQ(state.fileLoader().loadedPath(), dir.file("u_mod0.dll"));
    EXPECT_EQ(state.dataBuffer().dataLength(), 512u * 1024);
    EXPECT_EQ(status(), "Read ended!0:0");
}

TEST_F(ChipJobTest, AnEepromIsPaddedWithErasedBytesToItsSize) {
    useChip("24C16", "24C16");
    const auto bytes = randomBytes(100, 2);
    loadData(bytes);
    ASSERT_EQ(programChip(context(), true), 1);
    const auto contents = chip();
    ASSERT_EQ(contents.size(), 2048u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), contents.begin()));
    EXPECT_TRUE(std::all_of(contents.begin() + 100, contents.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    const auto ends = framesOf(cmd::kStreamEnd);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back()[15], 0x08);  // 2048 = 00 00 08 00
    EXPECT_EQ(ends.back()[16], 0x00);
    ASSERT_EQ(verifyChip(context(), true), 1);
}

TEST_F(ChipJobTest, SmallChipsAreVerifiedInTheRestPassAlone) {
    for (const auto& [simulated, device, size] :
         {std::tuple{"AT24C02", "24C02", 256u}, std::tuple{"25LC640", "25LC640A", 8192u}}) {
        useChip(simulated, device);
        const auto bytes = randomBytes(size, size);
        loadData(bytes);
        ASSERT_EQ(programChip(context(), true), 1) << device;
        EXPECT_EQ(verifyChip(context(), true), 1) << device;
        EXPECT_EQ(status(), "Verify OK!0:0") << "a file of the chip's size is not overlong";
        ASSERT_EQ(readChip(context()), 1) << device;
        EXPECT_EQ(dir.read("u_mod0.dll"), std::string(bytes.begin(), bytes.end())) << device;
    }
}

// The sizes of the bulk transfers of one kind in the simulator's log, without
// the three-byte answers of the socket probes around each job.
std::vector<int> transferSizes(const sim::Simulator& simulator, sim::UsbCall call) {
    std::vector<int> sizes;
    for (const auto& record : simulator.transferLog()) {
        if (record.call == call && record.result > 0 && record.size != 3)
            sizes.push_back(record.result);
    }
    return sizes;
}

TEST_F(ChipJobTest, AChipSizeOffTheBlockSizesIsWrittenVerifiedAndReadToItsEnd) {
    useChip("spi-eeprom:size=10000,page=32", "25ODD");
    const auto bytes = randomBytes(9000, 11);
    loadData(bytes);
    simulator.clearTransferLog();
    ASSERT_EQ(programChip(context(), true), 1);
    // The file ends inside the last block: it is filled up with 0xFF, not split.
    EXPECT_EQ(transferSizes(simulator, sim::UsbCall::BulkWrite),
              (std::vector<int>{4096, 4096, 1808}));
    auto expected = bytes;
    expected.resize(10000, 0xFF);
    EXPECT_EQ(chip(), expected);
    const auto ends = framesOf(cmd::kStreamEnd);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back()[15], 0x27);  // 10000 = 00 00 27 10
    EXPECT_EQ(ends.back()[16], 0x10);

    simulator.clearTransferLog();
    ASSERT_EQ(verifyChip(context(), true), 1);
    EXPECT_EQ(transferSizes(simulator, sim::UsbCall::BulkRead), (std::vector<int>{8192, 1808}));

    simulator.clearTransferLog();
    ASSERT_EQ(readChip(context()), 1);
    EXPECT_EQ(transferSizes(simulator, sim::UsbCall::BulkRead), (std::vector<int>{8192, 1808}));
    EXPECT_EQ(dir.read("u_mod0.dll"), std::string(expected.begin(), expected.end()));

    // Flash takes the file's bytes alone: a last block of one byte.
    useChip("W25X40", "W25X40");
    const auto flash = randomBytes(4097, 14);
    loadData(flash);
    ASSERT_EQ(programChip(context(), true), 1);
    EXPECT_EQ(status(), "Done, written 4097 byte(s),0:0");
    EXPECT_EQ(chip()[4096], flash[4096]);
}

TEST_F(ChipJobTest, AWorkingFileCutShortUnderTheJobIsAUsbErrorNotPadding) {
    useChip("spi-eeprom:size=10000,page=32", "25ODD");
    loadData(randomBytes(9000, 13));
    // Something cut the working copy after the load: the recorded length is 9000.
    ASSERT_EQ(::truncate(dir.file("u_mod1.dll").c_str(), 5000), 0);
    EXPECT_EQ(programChip(context(), true), 0);
    EXPECT_EQ(status(), "USB error!");
    const auto contents = chip();
    EXPECT_TRUE(std::all_of(contents.begin() + 5000, contents.end(), [](std::uint8_t b) {
        return b == 0xFF;
    })) << "nothing past the cut was written";
    EXPECT_TRUE(framesOf(cmd::kStreamEnd).empty());
}

TEST_F(ChipJobTest, MismatchesAreNamedByTheirOwnAddressInEveryBlock) {
    const auto bytes = randomBytes(16384, 15);
    loadData(bytes);
    ASSERT_EQ(programChip(context(), true), 1);
    auto contents = chip();
    contents[0x10] = static_cast<std::uint8_t>(~bytes[0x10]);
    contents[0x2005] = static_cast<std::uint8_t>(~bytes[0x2005]);
    ASSERT_TRUE(simulator.loadChipContents(0, contents));
    frontend.answerBox(BoxAnswer::Yes);
    frontend.answerBox(BoxAnswer::Yes);
    EXPECT_EQ(verifyChip(context(), true), 0);
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("10H Error", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[1].text.rfind("2005H Error", 0), 0u) << boxes[1].text;
    EXPECT_EQ(status(), "Verify failed! Mismatches:2 byte(s),0:0");
    EXPECT_NE(state.log().text().find("Verifying..."), std::string::npos);
}

TEST_F(ChipJobTest, AReadIdentifiesTheChipFirstAndDrainsWhatWasQueued) {
    ASSERT_TRUE(simulator.swapChip(0, *sim::builtinChip("W25Q32FV")));
    ASSERT_EQ(readChip(context()), 1);
    EXPECT_EQ(state.selection().selectedDevice(), "W25Q32FV");
    EXPECT_EQ(state.dataBuffer().dataLength(), 4u << 20);

    // Without identification only the read's own drain stands between stale
    // bytes and the image.
    state.command(kCmdAutoIdentify);
    ASSERT_FALSE(state.autoIdentifyOn());
    ASSERT_TRUE(simulator.injectIn(0, {0x11, 0x22, 0x33}));
    ASSERT_EQ(readChip(context()), 1);
    const auto contents = chip();
    EXPECT_EQ(dir.read("u_mod0.dll"), std::string(contents.begin(), contents.end()));
}

TEST_F(ChipJobTest, AReadImageThatCannotBeWrittenIsSaidAndNotLoaded) {
    loadData(randomBytes(100, 16));
    const std::string image = context().readImagePath;
    const std::string missingFolder = dir.file("gone/u_mod0.dll");
    for (const auto& [path, reason] :
         {std::pair{missingFolder, fileErrorText(ENOENT)},
          std::pair{std::string("/dev/full"), fileErrorText(kErrorNotRegularFile)}}) {
        context().readImagePath = path;
        EXPECT_EQ(readChip(context()), 0) << path;
        EXPECT_EQ(status(), path + "\n" + reason);
        EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        EXPECT_EQ(state.dataBuffer().dataLength(), 100u) << "the data loaded before stays";
    }
    // Refused before the chip was asked for its bytes: the link is ready for the next read.
    context().readImagePath = image;
    EXPECT_EQ(readChip(context()), 1);
}

TEST_F(ChipJobTest, ProgrammingOverOldDataIsCaughtByVerify) {
    loadData(std::vector<std::uint8_t>(4096, 0x0F));
    ASSERT_EQ(programChip(context(), true), 1);
    loadData(std::vector<std::uint8_t>(4096, 0xF0));
    ASSERT_EQ(programChip(context(), true), 1);  // no erase between: bits only clear
    EXPECT_EQ(chip()[0], 0x00);

    frontend.answerBox(BoxAnswer::Yes);
    frontend.answerBox(BoxAnswer::No);  // then count without asking
    EXPECT_EQ(verifyChip(context(), true), 0);
    EXPECT_EQ(status(), "Verify failed! Mismatches:4096 byte(s),0:0");
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "0H Error \r\nFile:F0H Chip:00H     \r\nYes/No/Cancel");
    EXPECT_EQ(boxes[1].text, "1H Error \r\nFile:F0H Chip:00H     \r\nYes/No/Cancel");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].icon, BoxIcon::Question);

    // Cancel ends the comparison: a verify that stopped short is no success.
    frontend.clearRecord();
    frontend.answerBox(BoxAnswer::Cancel);
    EXPECT_EQ(verifyChip(context(), true), 0);
    EXPECT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(status(), "Verify failed! Mismatches:1 byte(s),0:0");
}

TEST_F(ChipJobTest, AFileLongerThanTheChipIsAskedAboutAndCutToTheChip) {
    useChip("AT24C02", "24C02");
    const auto bytes = randomBytes(300, 3);
    loadData(bytes);
    frontend.answerBox(BoxAnswer::No);
    simulator.clearFrames(0);
    EXPECT_EQ(programChip(context(), true), 0);
    EXPECT_TRUE(framesOf(cmd::kProgramStart).empty());

    frontend.clearRecord();
    frontend.answerBox(BoxAnswer::Yes);
    context().worker.jobCode.store(job::kProgram);  // the box is the program button's
    EXPECT_EQ(programChip(context(), true), 1);
    EXPECT_EQ(status(), "File larger than chip, not written!256 byte(s),0:0");
    EXPECT_TRUE(frontend.beeps().empty()) << "the box says it";
    const auto boxes = frontend.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "File larger than chip, not written!");
    const auto contents = chip();
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), bytes.begin()));

    EXPECT_EQ(verifyChip(context(), true), 1);
    EXPECT_EQ(status(), "Verify OK!(file larger than chip)");
}

TEST_F(ChipJobTest, BlankCheckNamesTheFirstByteThatIsNotErased) {
    ASSERT_EQ(blankCheckChip(context()), 1);
    EXPECT_EQ(status(), "Blank, time:0:0");
    EXPECT_EQ(frontend.boxes().back().text, "The chip is blank!");
    EXPECT_TRUE(frontend.beeps().empty()) << "a pass is shown, not sounded";

    auto contents = chip();
    contents[0x12345] = 0x3C;
    ASSERT_TRUE(simulator.loadChipContents(0, contents));
    frontend.clearRecord();
    EXPECT_EQ(blankCheckChip(context()), 0);
    EXPECT_EQ(status(), "Blank check failed!0:0");
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text,
              "Chip-is-not-blank!\r\nAddress:00012345\r\nValue:3C           ");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Error);
    EXPECT_TRUE(frontend.beeps().empty()) << "the box speaks for itself";

    // A stop request left from an earlier run does not stop the next one.
    ASSERT_TRUE(simulator.loadChipContents(0, std::vector<std::uint8_t>(chip().size(), 0xFF)));
    state.flags().stopBlankCheck.store(true);
    EXPECT_EQ(blankCheckChip(context()), 1);
    EXPECT_EQ(status(), "Blank, time:0:0");
}

TEST_F(ChipJobTest, TheAutomaticSequenceErasesProgramsAndVerifies) {
    auto old = chip();
    std::fill(old.begin(), old.end(), 0x00);
    ASSERT_TRUE(simulator.loadChipContents(0, old));
    const auto bytes = randomBytes(5000, 4);
    loadData(bytes);
    simulator.clearFrames(0);
    ASSERT_EQ(automaticSequence(context()), 1);
    EXPECT_EQ(status().rfind("Done, erase, program, verify, all OK,0:", 0), 0u) << status();
    const auto contents = chip();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), contents.begin()));
    EXPECT_EQ(contents[5000], 0xFF) << "erased before programming";

    // The pause between erase and program: commands 25 then 0.
    std::vector<int> codes;
    for (const auto& frame : simulator.frames(0))
        codes.push_back(frame[1] & 0x3F);
    const auto erase = std::find(codes.begin(), codes.end(), cmd::kErase);
    const auto program = std::find(codes.begin(), codes.end(), cmd::kProgramStart);
    ASSERT_NE(erase, codes.end());
    ASSERT_NE(program, codes.end());
    const std::vector<int> between(erase + 1, program);
    const std::vector<int> pause{cmd::kBetweenSteps, cmd::kCarryParameters};
    EXPECT_NE(std::search(between.begin(), between.end(), pause.begin(), pause.end()),
              between.end());
}

TEST_F(ChipJobTest, JobsNeedingDataRefuseWithoutIt) {
    for (auto job : {+[](JobContext& c) { return programChip(c, true); },
                     +[](JobContext& c) { return verifyChip(c, true); },
                     +[](JobContext& c) { return automaticSequence(c); }}) {
        frontend.clearRecord();
        state.panel().setText(kStatusLine, "");
        EXPECT_EQ(job(context()), 0);
        EXPECT_EQ(status(), "No data!");
        ASSERT_EQ(frontend.boxes().size(), 1u);
        EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    }
}

// Raises a stop request once a control's text ends in the given text: the
// progress label at some percent, or the status line at a job's step.
class StopWhen {
public:
    StopWhen(Panel& panel, std::atomic<bool>& request, int id, std::string ending)
        : panel_(panel), token_(panel.subscribe([this, &request, id, ending](const PanelChange& c) {
              if (c.id == id && c.property == PanelProperty::Text &&
                  panel_.text(id).ends_with(ending))
                  request.store(true);
          })) {}
    ~StopWhen() { panel_.unsubscribe(token_); }
    StopWhen(const StopWhen&) = delete;
    StopWhen& operator=(const StopWhen&) = delete;

private:
    Panel& panel_;
    Panel::Token token_;
};

TEST_F(ChipJobTest, AStoppedProgramSaysHowMuchWentAndNeverEndsTheStream) {
    loadData(randomBytes(100000, 5));
    simulator.clearFrames(0);
    // What the close handler would see while the stream runs.
    bool runningSeen = false;
    std::string captionSeen;
    const auto token = state.panel().subscribe([&](const PanelChange& c) {
        if (c.id == kProgressBar && state.panel().text(kProgressBar) == "Writing:8%") {
            runningSeen = state.flags().programRunning.load();
            captionSeen = state.panel().text(kBtnProgram);
        }
    });
    {
        StopWhen stop(state.panel(), state.flags().stopProgram, kProgressBar, "Writing:12%");
        EXPECT_EQ(programChip(context(), true), 0);
    }
    state.panel().unsubscribe(token);
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(captionSeen, "Stop programming");
    EXPECT_EQ(status(), "Stopped, sent 12288 byte(s),0:0");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    EXPECT_TRUE(framesOf(cmd::kStreamEnd).empty());
    EXPECT_EQ(simulator.frames(0).back()[1] & 0x3F, cmd::kEndOfOperation);
    EXPECT_FALSE(state.flags().programRunning.load());
    EXPECT_EQ(state.panel().text(kBtnProgram), "") << "idle caption (no text in this set)";
}

TEST_F(ChipJobTest, AStoppedReadSaysSoAndLoadsNothing) {
    loadData(randomBytes(16, 6));
    state.command(kCmdEditMode);
    ASSERT_TRUE(state.hexView().editMode());
    {
        StopWhen stop(state.panel(), state.flags().stopRead, kProgressBar, "Reading:3%");
        EXPECT_EQ(readChip(context()), 0);
    }
    EXPECT_TRUE(frontend.beeps().empty()) << "a stop is no error";
    EXPECT_FALSE(state.hexView().editMode()) << "a read switches edit mode off";
    EXPECT_EQ(status(), "Read stopped after 16384 byte(s): nothing loaded.")
        << "two 8 KiB transfers: 3% of 512 KiB";
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    EXPECT_EQ(state.fileLoader().loadedPath(), dir.file("data.bin"));
    EXPECT_EQ(state.dataBuffer().dataLength(), 16u);
    EXPECT_TRUE(state.link().unsettled()) << "the rest of the chip is still on its way";
}

// The image is replaced only by a whole read of the chip that is in the socket.
TEST_F(ChipJobTest, AStoppedReadLeavesTheImageBeforeItAsItWas) {
    ASSERT_EQ(readChip(context()), 1);
    const std::string before = dir.read("u_mod0.dll");
    ASSERT_EQ(before.size(), state.selection().chipSize());
    const auto entries = [this] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> files = entries();
    {
        StopWhen stop(state.panel(), state.flags().stopRead, kProgressBar, "Reading:3%");
        EXPECT_EQ(readChip(context()), 0);
    }
    EXPECT_EQ(dir.read("u_mod0.dll"), before);
    EXPECT_EQ(entries(), files) << "no temporary file is left behind";
}

TEST_F(ChipJobTest, EraseIsTriedElevenTimesAndAStopEndsIt) {
    ASSERT_TRUE(simulator.setFault(0, "refuse", "5:always"));
    simulator.clearTransferLog();
    EXPECT_EQ(eraseChip(context(), true), 0);
    EXPECT_EQ(status(), "USB error!");
    const auto log = simulator.transferLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const sim::TransferRecord& r) {
                                return r.call == sim::UsbCall::InterruptWrite && r.result < 0;
                            }),
              11);
    ASSERT_TRUE(simulator.setFault(0, "refuse", "5:off"));

    // A stop in the wait: the stopped text and the closing commands 9, 25, 0.
    simulator.clearFrames(0);
    {
        StopWhen stop(state.panel(), state.flags().stopErase, kStatusLine, "Erasing...");
        EXPECT_EQ(eraseChip(context(), true), 0);
    }
    EXPECT_EQ(status(), "Erase stopped: the chip may not be fully erased!");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    std::vector<int> codes;
    for (const auto& frame : simulator.frames(0))
        codes.push_back(frame[1] & 0x3F);
    const std::vector<int> closing{cmd::kErase, cmd::kEndOfOperation, cmd::kEndOfOperation,
                                   cmd::kBetweenSteps, cmd::kCarryParameters};
    EXPECT_TRUE(std::search(codes.begin(), codes.end(), closing.begin(), closing.end()) !=
                codes.end());
}

TEST_F(ChipJobTest, AVerifyOrBlankCheckCutShortIsNeverASuccess) {
    loadData(randomBytes(65536, 8));
    ASSERT_EQ(programChip(context(), true), 1);
    const auto ends = framesOf(cmd::kStreamEnd);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back()[13], 0x00);  // 65536 = 00 01 00 00
    EXPECT_EQ(ends.back()[14], 0x01);
    EXPECT_EQ(ends.back()[15], 0x00);
    EXPECT_EQ(ends.back()[16], 0x00);
    {
        StopWhen stop(state.panel(), state.flags().stopVerify, kProgressBar, "50%");
        EXPECT_EQ(verifyChip(context(), true), 0);
    }
    EXPECT_EQ(status(), "Verify not completed: only 262144 byte(s) compared.");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);

    frontend.clearRecord();
    {
        StopWhen stop(state.panel(), state.flags().stopBlankCheck, kStatusLine,
                      "Blank checking...");
        EXPECT_EQ(blankCheckChip(context()), 0);
    }
    EXPECT_EQ(status(), "Blank check stopped");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    EXPECT_TRUE(frontend.boxes().empty());
}

TEST_F(ChipJobTest, SoundsFollowTheJobCodeAndFailuresBeep) {
    ASSERT_TRUE(state.soundSwitchOn());
    loadData(randomBytes(5000, 9));
    const std::string finish = dir.file("sound/finishsound.wav");
    const std::string erased = dir.file("sound/del.wav");

    ASSERT_EQ(eraseChip(context(), true), 1);
    EXPECT_EQ(frontend.sounds(), std::vector<std::string>{erased});
    frontend.clearRecord();
    // Run as a step (job code not the program's own), the program job is silent.
    ASSERT_EQ(programChip(context(), true), 1);
    EXPECT_TRUE(frontend.sounds().empty());
    context().worker.jobCode.store(job::kProgram);
    ASSERT_EQ(programChip(context(), true), 1);
    EXPECT_EQ(frontend.sounds(), std::vector<std::string>{finish});
    frontend.clearRecord();
    context().worker.jobCode.store(job::kVerify);
    ASSERT_EQ(verifyChip(context(), true), 1);
    EXPECT_EQ(frontend.sounds(), std::vector<std::string>{finish});
    frontend.clearRecord();
    ASSERT_EQ(readChip(context()), 1);
    EXPECT_EQ(frontend.sounds(), std::vector<std::string>{finish});

    // Failures that the user must notice beep.
    frontend.clearRecord();
    ASSERT_TRUE(simulator.setFault(0, "refuse", "5:always"));
    EXPECT_EQ(eraseChip(context(), true), 0);
    EXPECT_EQ(frontend.beeps().size(), 1u);
    EXPECT_TRUE(frontend.sounds().empty());
}

TEST_F(ChipJobTest, TransfersUseTheirOwnTimeOuts) {
    loadData(randomBytes(5000, 10));
    simulator.clearTransferLog();
    ASSERT_EQ(programChip(context(), true), 1);
    ASSERT_EQ(readChip(context()), 1);
    bool streamed = false;
    bool read = false;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkWrite && r.size == 4096) {
            EXPECT_EQ(r.timeout, 60000);
            streamed = true;
        }
        if (r.call == sim::UsbCall::BulkRead && r.size == 8192) {
            EXPECT_EQ(r.timeout, 5000);
            read = true;
        }
    }
    EXPECT_TRUE(streamed);
    EXPECT_TRUE(read);

    // The erase wait and the blank check's replies: 1000 ms reads.
    simulator.clearTransferLog();
    ASSERT_EQ(eraseChip(context(), true), 1);
    ASSERT_EQ(blankCheckChip(context()), 1);
    int eraseWaits = 0;
    int blankReads = 0;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkRead && r.timeout == 1000) {
            eraseWaits += r.size == 1;
            blankReads += r.size == 64;
        }
    }
    EXPECT_GE(eraseWaits, 1);
    EXPECT_GE(blankReads, 1);
}

TEST_F(ChipJobTest, ABlockedProgrammerRefusesEveryJobWithABeep) {
    loadData(randomBytes(100, 11));
    state.flags().programmerBlocked = true;
    for (auto job : {+[](JobContext& c) { return programChip(c, false); },
                     +[](JobContext& c) { return verifyChip(c, false); },
                     +[](JobContext& c) { return eraseChip(c, false); },
                     +[](JobContext& c) { return blankCheckChip(c); },
                     +[](JobContext& c) { return automaticSequence(c); }}) {
        frontend.clearRecord();
        simulator.clearFrames(0);
        state.panel().setText(kStatusLine, "");
        EXPECT_EQ(job(context()), 0);
        EXPECT_EQ(status(), "blocked");
        EXPECT_EQ(frontend.beeps().size(), 1u);
        EXPECT_TRUE(simulator.frames(0).empty()) << "nothing reaches the programmer";
    }
}

TEST_F(ChipJobTest, TheSequenceIdentifiesOnceAndAFullProgramAsksNothing) {
    loadData(randomBytes(3000, 12));
    // One adapter question per identification; the socket probes ask none.
    const auto identities = [&] {
        const auto frames = simulator.frames(0);
        return std::count_if(frames.begin(), frames.end(), [](const CommandFrame& f) {
            return (f[1] & 0x3F) == cmd::kAdapterQuery;
        });
    };
    simulator.clearFrames(0);
    ASSERT_EQ(eraseChip(context(), true), 1);
    const auto once = identities();
    ASSERT_GT(once, 0);
    simulator.clearFrames(0);
    ASSERT_EQ(automaticSequence(context()), 1);
    EXPECT_EQ(identities(), once) << "program and verify run as steps, without identification";

    // The whole file went: no warning box, and a stop that came too late is no stop.
    frontend.clearRecord();
    context().worker.jobCode.store(job::kProgram);
    ASSERT_EQ(programChip(context(), true), 1);
    EXPECT_TRUE(frontend.boxes().empty());
    EXPECT_TRUE(frontend.beeps().empty());
}

TEST_F(ChipJobTest, CommandsWaitTheirTimeForTheProgrammer) {
    loadData(randomBytes(3000, 13));
    state.command(kCmdAutoIdentify);  // only the jobs' own commands
    simulator.clearTransferLog();
    ASSERT_EQ(automaticSequence(context()), 1);
    ASSERT_EQ(blankCheckChip(context()), 0);
    std::vector<std::pair<int, int>> seen;  // command code, time-out
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::InterruptWrite && r.data.size() > 1)
            seen.emplace_back(r.data[1] & 0x3F, r.timeout);
    }
    const auto timeoutOf = [&](int code) {
        for (const auto& [c, t] : seen) {
            if (c == code)
                return t;
        }
        return -1;
    };
    EXPECT_EQ(timeoutOf(cmd::kErase), 1000);
    EXPECT_EQ(timeoutOf(cmd::kBetweenSteps), 1000);
    EXPECT_EQ(timeoutOf(cmd::kCarryParameters), 1000);
    EXPECT_EQ(timeoutOf(cmd::kProgramStart), 5000);
    EXPECT_EQ(timeoutOf(cmd::kStreamEnd), 1000);
    EXPECT_EQ(timeoutOf(cmd::kVerifyRead), 5000);
    EXPECT_EQ(timeoutOf(cmd::kBlankCheck), 1000);
}

TEST_F(ChipJobTest, QuadEnableIsConfirmedByTheProgrammer) {
    ASSERT_TRUE(simulator.swapChip(0, *sim::builtinChip("W25Q32FV")));
    state.panel().setChecked(kCheckQuadEnable, true);
    EXPECT_EQ(configureQuadEnable(context()), 1) << simulator.firmwareLog(0).back();
    EXPECT_EQ(state.selection().selectedDevice(), "W25Q32FV");
    EXPECT_TRUE(simulator.chipStatusRegister(0) & (1u << 9)) << "QE is status bit 9";
    EXPECT_EQ(status(), "QE set!");
    const auto frames = framesOf(cmd::kQuadEnable);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][15], 1) << "the check box ticked";

    ASSERT_TRUE(simulator.setFault(0, "refuse", "35:always"));
    EXPECT_EQ(configureQuadEnable(context()), 0);
    EXPECT_EQ(status(), "QE failed!");
    EXPECT_EQ(state.statusKind(), StatusKind::Alert);
    ASSERT_TRUE(simulator.setFault(0, "refuse", "35:off"));

    // Another chip put in without a USB event: its own identification decides,
    // and a chip without QE controls gets no QE frame.
    ASSERT_TRUE(simulator.swapChip(0, *sim::builtinChip("W25X40")));
    const auto statusBefore = simulator.chipStatusRegister(0);
    simulator.clearFrames(0);
    EXPECT_EQ(configureQuadEnable(context()), 0);
    EXPECT_EQ(state.selection().selectedDevice(), "W25X40");
    EXPECT_TRUE(framesOf(cmd::kQuadEnable).empty());
    EXPECT_EQ(simulator.chipStatusRegister(0), statusBefore);
    EXPECT_EQ(status(), "QE failed!");
}

// The QE frame sets its three argument bytes (the chip's QE bit and register
// count, then the box) and leaves the rest of the command as it was.
TEST_F(ChipJobTest, QuadEnableSetsOnlyItsThreeArgumentBytes) {
    ASSERT_TRUE(simulator.swapChip(0, *sim::builtinChip("W25Q32FV")));
    for (const bool ticked : {true, false}) {
        SCOPED_TRACE(ticked);
        // What an earlier, longer argument left behind.
        state.selection().modifyParameterBlock([](ChipParameterBlock& block) {
            block.bytes[16] = 0xA1;
            block.bytes[17] = 0xA2;
            block.bytes[18] = 0xA3;
        });
        state.panel().setChecked(kCheckQuadEnable, ticked);
        simulator.clearFrames(0);
        EXPECT_EQ(configureQuadEnable(context()), 1);
        const auto frames = framesOf(cmd::kQuadEnable);
        ASSERT_EQ(frames.size(), 1u);
        const QeDescriptor qe = state.selection().qeDescriptor();
        const std::uint8_t box = ticked ? 1 : 0;
        EXPECT_EQ(std::vector<std::uint8_t>(frames[0].begin() + 13, frames[0].end() - 1),
                  (std::vector<std::uint8_t>{qe[0], qe[1], box, 0xA1, 0xA2, 0xA3}));
        EXPECT_EQ(frames[0].back(), kFrameEnd);
    }
}

}  // namespace
}  // namespace nyra
