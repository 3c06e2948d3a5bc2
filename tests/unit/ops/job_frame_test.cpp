// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/job_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "ops/job_locks.h"
#include "unit/ops/ops_fixture.h"

namespace nyra {
namespace {

// A job reaches only the roles its signature names: the whole context and any
// wider set narrow to them, a narrower set never widens.
static_assert(std::is_convertible_v<JobContext&, DataJobRoles>);
static_assert(std::is_convertible_v<DataJobRoles, ChipJobRoles>);
static_assert(!std::is_convertible_v<ChipJobRoles, DataJobRoles>);
static_assert(!std::is_convertible_v<Roles<LinkRole, ReportRole>, Roles<ReportRole, ControlRole>>);

using namespace ids;
using ops_test::DeskTest;

struct ButtonCase {
    const char* name;
    std::uint8_t job;
    int button;
    std::atomic<bool> JobFlags::*running;  // nullptr: blank check has none
    std::atomic<bool> JobFlags::*stop;
    const char* idle;
    const char* busy;
    bool logsFile;
};

void PrintTo(const ButtonCase& c, std::ostream* os) {
    *os << c.name;
}

const ButtonCase kButtonCases[] = {
    {"Erase", job::kErase, kBtnErase, &JobFlags::eraseRunning, &JobFlags::stopErase, "Erase(F4)",
     "Stop erase(F4)", false},
    {"Program", job::kProgram, kBtnProgram, &JobFlags::programRunning, &JobFlags::stopProgram,
     "Program(F6)", "Stop program(F6)", true},
    {"Verify", job::kVerify, kBtnVerify, &JobFlags::verifyRunning, &JobFlags::stopVerify,
     "Verify(F8)", "Stop verify(F8)", true},
    {"Read", job::kRead, kBtnRead, &JobFlags::readRunning, &JobFlags::stopRead, "Read(F7)",
     "Stop read(F7)", false},
    {"BlankCheck", job::kBlankCheck, kBtnBlankCheck, nullptr, &JobFlags::stopBlankCheck,
     "Blank(F3)", "Stop blank(F3)", false},
};

constexpr std::atomic<bool> JobFlags::*kRunningFlags[] = {
    &JobFlags::eraseRunning, &JobFlags::programRunning, &JobFlags::verifyRunning,
    &JobFlags::readRunning};

class JobButtonTest : public DeskTest, public ::testing::WithParamInterface<ButtonCase> {
protected:
    void SetUp() override { startUp(); }

    int runningFlags() {
        int set = 0;
        for (auto flag : kRunningFlags)
            set += (state.flags().*flag).load() ? 1 : 0;
        return set;
    }
    bool allLocked(std::uint8_t code) {
        const JobLocks* locks = jobLocks(code);
        for (int button : locks->buttons) {
            if (state.panel().enabled(button))
                return false;
        }
        return true;
    }
};

TEST_P(JobButtonTest, RunFramesTheJobWithItsFlagLocksAndCaption) {
    const ButtonCase& c = GetParam();
    Panel& panel = state.panel();
    const JobLocks* locks = jobLocks(c.job);
    ASSERT_NE(locks, nullptr);
    ASSERT_EQ(panel.text(c.button), c.idle);

    // At every enable or grey change: a running flag only with the controls locked.
    int lockChanges = 0;
    int flagWhileUnlocked = 0;
    const auto token = panel.subscribe([&](const PanelChange& change) {
        if (change.property != PanelProperty::Enabled && change.property != PanelProperty::Greyed)
            return;
        ++lockChanges;
        if (c.running && (state.flags().*c.running).load() && !allLocked(c.job))
            ++flagWhileUnlocked;
    });

    for (bool explicitFinish : {true, false}) {
        lockChanges = 0;
        {
            JobRun run(context(), c.job);
            if (c.running) {
                EXPECT_TRUE((state.flags().*c.running).load());
            }
            EXPECT_EQ(runningFlags(), c.running ? 1 : 0) << "only the job's own flag";
            EXPECT_TRUE(allLocked(c.job));
            EXPECT_TRUE(panel.enabled(c.button));
            EXPECT_EQ(panel.text(c.button), c.busy);
            if (explicitFinish) {
                run.finish();
                EXPECT_EQ(runningFlags(), 0);
                EXPECT_EQ(panel.text(c.button), c.idle);
                run.finish();  // a second finish changes nothing
            }
        }
        EXPECT_EQ(runningFlags(), 0);
        EXPECT_EQ(panel.text(c.button), c.idle);
        for (int button : locks->buttons)
            EXPECT_TRUE(panel.enabled(button)) << button;
        EXPECT_GE(lockChanges, 2 * static_cast<int>(locks->buttons.size()));
    }
    panel.unsubscribe(token);
    EXPECT_EQ(flagWhileUnlocked, 0);
}

TEST_P(JobButtonTest, PressOnTheRunningCaptionOnlyRequestsAStop) {
    const ButtonCase& c = GetParam();
    const ButtonJob* button = buttonJobOf(c.button);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(buttonJobFor(c.job), button);
    state.flags().fileLoaded = true;
    state.loadedFile().set("/data/rom.bin", 1536);
    const std::size_t lines = state.log().lineCount();

    state.panel().setText(c.button, c.busy);
    EXPECT_EQ(startOrStop(context(), *button), std::nullopt);
    EXPECT_TRUE((state.flags().*c.stop).load());
    EXPECT_EQ(state.log().lineCount(), lines) << "a stop logs nothing";

    state.panel().setText(c.button, c.idle);
    EXPECT_EQ(startOrStop(context(), *button), std::optional<std::uint8_t>(c.job));
    EXPECT_FALSE((state.flags().*c.stop).load());
    if (c.logsFile) {
        EXPECT_EQ(state.log().lineCount(), lines + 1);
        EXPECT_EQ(state.log().lastLine(),
                  OperationLog::timePrefix(clock.localTime()) + "rom.bin 1.50KB");
        EXPECT_TRUE(dir.read("log.txt").ends_with("\trom.bin 1.50KB"));
    } else {
        EXPECT_EQ(state.log().lineCount(), lines);
    }

    // Without a loaded file, or with the flag but no name, nothing is logged.
    const std::size_t after = state.log().lineCount();
    state.flags().fileLoaded = false;
    EXPECT_EQ(startOrStop(context(), *button), std::optional<std::uint8_t>(c.job));
    state.flags().fileLoaded = true;
    state.loadedFile().clear();
    EXPECT_EQ(startOrStop(context(), *button), std::optional<std::uint8_t>(c.job));
    EXPECT_EQ(state.log().lineCount(), after);
}

INSTANTIATE_TEST_SUITE_P(JobButtons, JobButtonTest, ::testing::ValuesIn(kButtonCases),
                         [](const auto& info) { return std::string(info.param.name); });

class JobFrameTest : public DeskTest {};

TEST_F(JobFrameTest, WithoutTextsEveryButtonStillStartsItsJob) {
    // No text files: idle and running captions are both empty.
    state.startUp(dir.folder());
    state.worker().waitUntilIdle();
    for (const ButtonCase& c : kButtonCases) {
        ASSERT_EQ(state.panel().text(c.button), "");
        (state.flags().*c.stop) = true;
        EXPECT_EQ(startOrStop(context(), *buttonJobOf(c.button)),
                  std::optional<std::uint8_t>(c.job))
            << c.name;
        EXPECT_FALSE((state.flags().*c.stop).load()) << c.name;
    }
}

TEST_F(JobFrameTest, ProgramButtonLogsTheFileAndStartsTheJob) {
    std::atomic<int> runs{0};
    std::optional<std::string> lineAtStart;
    bool stopAtStart = true;
    startUp();  // it registers the real jobs
    state.worker().registerJob(job::kProgram, [&] {
        lineAtStart = state.log().lastLine();
        stopAtStart = state.flags().stopProgram.load();
        ++runs;
        return std::uint8_t{1};
    });
    state.flags().stopProgram = true;
    state.flags().fileLoaded = true;
    state.loadedFile().set("C:\\images\\boot.bin", 1536);

    // The line is written on the window thread, before the worker takes the job.
    const std::string prefix = OperationLog::timePrefix(clock.localTime());
    state.command(kBtnProgram);
    state.worker().waitUntilIdle();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(lineAtStart, prefix + "boot.bin 1.50KB");
    EXPECT_FALSE(stopAtStart);

    // While it runs, the button shows the running caption and a press stops it.
    state.panel().setText(kBtnProgram, "Stop program(F6)");
    state.command(kBtnProgram);
    state.worker().waitUntilIdle();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(state.flags().stopProgram.load());
}

struct CloseCase {
    const char* name;
    std::uint8_t job;
    const char* question;
    bool marksClose;  // a read is told that the window closes
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseDuringJobTest : public DeskTest, public ::testing::WithParamInterface<CloseCase> {
protected:
    void SetUp() override { startUp(); }
};

TEST_P(CloseDuringJobTest, AsksThenEndsTheOperationOnTheLink) {
    const CloseCase& c = GetParam();
    ASSERT_TRUE(state.link().connect(false));
    JobRun run(context(), c.job);
    usbRecord().calls.clear();

    frontend.answerBox(BoxAnswer::Cancel);
    EXPECT_FALSE(state.closeRequested());
    EXPECT_EQ(frontend.boxes().back().text, c.question);
    EXPECT_EQ(frontend.boxes().back().buttons, BoxButtons::OkCancel);
    EXPECT_TRUE(usbRecord().callsNamed("interrupt_write").empty());
    EXPECT_FALSE(state.flags().closeRequested.load());
    EXPECT_EQ(state.workerShared().quit.load(), 0);

    frontend.answerBox(BoxAnswer::Ok);
    EXPECT_TRUE(state.closeRequested());
    EXPECT_EQ(state.flags().closeRequested.load(), c.marksClose);
    EXPECT_FALSE(state.flags().stopVerify.load());
    EXPECT_FALSE(state.flags().stopRead.load());
    const auto writes = usbRecord().callsNamed("interrupt_write");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes[1] & 0x3F, 9);
    EXPECT_EQ(writes[0].timeout, 100);
    EXPECT_FALSE(state.link().connected());
    EXPECT_EQ(state.workerShared().quit.load(), 1);
}

const CloseCase kCloseCases[] = {
    {"Verify", job::kVerify, "stop verify?", false},
    {"Read", job::kRead, "stop read?", true},
};

INSTANTIATE_TEST_SUITE_P(CloseDuringJobs, CloseDuringJobTest, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ElapsedTimeTest, CountsForwardAcrossMidnight) {
    VirtualClock clock({2026, 1, 1, 23, 59, 58, 0});
    const ElapsedTime elapsed(clock);
    EXPECT_EQ(elapsed.seconds(), 0);
    clock.advance(1999);
    EXPECT_EQ(elapsed.seconds(), 1);  // whole seconds of the time of day
    clock.advance(3001);              // 00:00:03
    EXPECT_EQ(clock.localTime().hour, 0);
    EXPECT_EQ(elapsed.seconds(), 5);
    clock.advance(3600 * 1000);
    EXPECT_EQ(elapsed.seconds(), 3605);

    // Started mid-second: the seconds of the time of day count, not the milliseconds.
    VirtualClock late({2026, 1, 1, 10, 0, 0, 900});
    const ElapsedTime fromLate(late);
    late.advance(200);
    EXPECT_EQ(fromLate.seconds(), 1);
}

TEST(ResultTextTest, MinutesAndSecondsWithoutPadding) {
    EXPECT_EQ(timedText("Done ", 125), "Done 2:5");
    EXPECT_EQ(timedText("Erased ", 0), "Erased 0:0");
    EXPECT_EQ(bytesTimedText("Done", 4096, 61), "Done 4096 byte(s),1:1");
    EXPECT_EQ(bytesTimedText("Done", 33554432, 600), "Done 33554432 byte(s),10:0");
    EXPECT_EQ(overlongTimedText("Long", 10, 0), "Long10 byte(s),0:0");
    EXPECT_EQ(timeText(59), "0:59");
    EXPECT_EQ(timeText(3600), "60:0");
    EXPECT_EQ(stepsTimedText("A", "B", 60), "AB,1:0");
}

TEST_F(JobFrameTest, SoundsPlayOnlyWhileTheSoundSwitchIsOn) {
    startUp();
    ASSERT_TRUE(state.soundSwitchOn());
    EXPECT_EQ(context().finishSoundPath, dir.folder() + "sound/finishsound.wav");
    EXPECT_EQ(context().deleteSoundPath, dir.folder() + "sound/del.wav");
    frontend.clearRecord();
    playFinishSound(context());
    playEraseSound(context());
    EXPECT_EQ(frontend.sounds(), (std::vector<std::string>{dir.folder() + "sound/finishsound.wav",
                                                           dir.folder() + "sound/del.wav"}));

    state.command(kCmdSounds);
    ASSERT_FALSE(state.soundSwitchOn());
    frontend.clearRecord();
    playFinishSound(context());
    playEraseSound(context());
    EXPECT_TRUE(frontend.sounds().empty());
    EXPECT_TRUE(frontend.calls().empty());
}

}  // namespace
}  // namespace nyra

namespace nyra {
namespace {

// A long job framed as the chip jobs are, polling its stop request once per unit of work.
class StopRequestTest : public ops_test::DeskTest {};

TEST_F(StopRequestTest, ASecondPressEndsTheRunningJobAtItsNextPoll) {
    std::atomic<int> polls{0};
    std::atomic<bool> started{false};
    startUp();  // it registers the real jobs
    state.worker().registerJob(job::kErase, [&]() -> std::uint8_t {
        JobContext& jobs = state.jobContext();
        JobRun run(jobs, job::kErase);
        started = true;
        while (!jobs.flags.stopErase.load()) {
            ++polls;
            std::this_thread::yield();
        }
        return 0;
    });
    state.command(ids::kBtnErase);
    while (!started.load() || state.panel().text(ids::kBtnErase) != "Stop erase(F4)")
        std::this_thread::yield();
    EXPECT_TRUE(state.flags().eraseRunning.load());
    EXPECT_FALSE(state.panel().enabled(ids::kBtnProgram));

    state.command(ids::kBtnErase);  // the button now reads as its stop button
    state.worker().waitUntilIdle();
    EXPECT_GT(polls.load(), 0);
    EXPECT_FALSE(state.flags().eraseRunning.load());
    EXPECT_EQ(state.panel().text(ids::kBtnErase), "Erase(F4)");
    EXPECT_TRUE(state.panel().enabled(ids::kBtnProgram));
    EXPECT_TRUE(state.flags().stopErase.load()) << "the request stays until the next start";
}

}  // namespace
}  // namespace nyra
