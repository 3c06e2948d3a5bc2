// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/worker.h"

#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <random>
#include <thread>

#include "support/call_hold.h"
#include "support/fake_link_host.h"
#include "support/recording_usb.h"

namespace nyra {
namespace {

using testing::CallHold;
using testing::FakeLinkHost;
using testing::RecordingUsb;

// Command code and first argument byte of every frame sent.
std::vector<std::pair<int, int>> commandsSent() {
    std::vector<std::pair<int, int>> out;
    for (const auto& f : RecordingUsb::instance().frames()) {
        out.emplace_back(f.at(1) & 0x3F, f.at(13));
    }
    return out;
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingUsb::instance().reset();
        block[0] = kFrameStart;
        block[19] = kFrameEnd;
    }
    void TearDown() override {
        worker.requestQuit();
        worker.join();
    }
    // Starts the thread on a job code, as start-up does with job 7.
    void startOn(std::uint8_t code) {
        shared.jobCode = code;
        worker.start();
        worker.waitUntilIdle();
    }
    void runJob(std::uint8_t code) {
        worker.startJob(code);
        worker.waitUntilIdle();
    }

    UsbApi api = RecordingUsb::api();
    FakeLinkHost host;
    Link link{api, host};
    CommandFrame block{};
    CommandChannel channel{link, block};
    WorkerShared shared;
    Worker worker{shared, channel};
};

TEST_F(WorkerTest, CodesWithoutAJobRunNothingAndReportFailure) {
    startOn(0);
    EXPECT_EQ(commandsSent(), (std::vector<std::pair<int, int>>{{34, 1}, {34, 2}, {9, 2}}));
    RecordingUsb::instance().calls.clear();
    runJob(2);
    EXPECT_EQ(commandsSent(), (std::vector<std::pair<int, int>>{{34, 1}, {34, 2}, {9, 2}}));
    EXPECT_EQ(shared.jobCode.load(), kIdleJobCode);
}

TEST_F(WorkerTest, JobResultsAreReportedByCode) {
    int runs = 0;
    worker.registerJob(job::kErase, [&] { return static_cast<std::uint8_t>(++runs == 1); });
    for (std::uint8_t silent : {job::kQuietIdentify, job::kFullIdentify, job::kOtpFirst}) {
        worker.registerJob(silent, [] { return std::uint8_t{1}; });
    }
    startOn(job::kErase);
    runJob(job::kErase);
    runJob(job::kQuietIdentify);
    runJob(job::kFullIdentify);
    runJob(job::kOtpFirst);
    const std::vector<std::pair<int, int>> expected = {
        {34, 1}, {34, 3}, {9, 3},  // erase succeeded
        {34, 1}, {34, 2}, {9, 2},  // erase failed
        {34, 1}, {34, 0}, {9, 0},  // jobs 7, 23 and 26 are not reported
        {34, 1}, {34, 0}, {9, 0}, {34, 1}, {34, 0}, {9, 0}};
    EXPECT_EQ(commandsSent(), expected);
    EXPECT_EQ(runs, 2);
}

TEST_F(WorkerTest, CommandNineKeepsTheArgumentOfTheLastStateIndication) {
    worker.registerJob(job::kVerify, [&] {
        const auto size = bigEndian32(0x00800000);
        channel.sendCommand(cmd::kVerifyRead, 5000, size);
        return std::uint8_t{1};
    });
    startOn(job::kVerify);
    const auto frames = RecordingUsb::instance().frames();
    ASSERT_EQ(frames.size(), 4u);
    // Command 34 after command 8 carries bytes 14..16 as command 8 left them.
    EXPECT_EQ(frames[2][1] & 0x3F, 34);
    EXPECT_EQ(frames[2][13], 3);
    EXPECT_EQ(frames[2][14], 0x80);
    EXPECT_EQ(frames[2][15], 0x00);
}

TEST_F(WorkerTest, StateIndicationsAndCommandNineUseTheirTimeouts) {
    startOn(0);
    const auto writes = RecordingUsb::instance().callsNamed("interrupt_write");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].timeout, 100);
    EXPECT_EQ(writes[1].timeout, 100);
    EXPECT_EQ(writes[2].bytes.at(1) & 0x3F, 9);
    EXPECT_EQ(writes[2].timeout, 1000);
}

TEST_F(WorkerTest, RepeatingFilterLoopsBackBeforeCommandNine) {
    int runs = 0;
    worker.registerJob(job::kQuietIdentify, [&] {
        if (++runs == 1) {
            for (int i = 0; i < 48; ++i)
                worker.deviceChangeNotice();
        }
        return std::uint8_t{1};
    });
    startOn(job::kQuietIdentify);
    // No command 9 between the two runs: the filter comes first.
    EXPECT_EQ(commandsSent(),
              (std::vector<std::pair<int, int>>{{34, 1}, {34, 0}, {34, 1}, {34, 0}, {9, 0}}));
}

TEST_F(WorkerTest, UnpluggedProgrammerStillRunsTheJobButSendsNothing) {
    RecordingUsb::instance().devicesPresent = 0;
    int runs = 0;
    worker.registerJob(job::kRead, [&] {
        ++runs;
        return std::uint8_t{0};
    });
    startOn(job::kRead);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(commandsSent().empty());
    EXPECT_EQ(host.alerts, (std::vector<TextKey>{itext(34), itext(34)}));
}

class DeviceChangeFilter : public WorkerTest,
                           public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(DeviceChangeFilter, NoticesDuringAJobDecideWhetherJobSevenRepeats) {
    const int notices = GetParam().first;
    const int expectedRuns = GetParam().second;
    int runs = 0;
    worker.registerJob(job::kQuietIdentify, [&] {
        if (++runs == 1) {
            for (int i = 0; i < notices; ++i)
                worker.deviceChangeNotice();
        }
        return std::uint8_t{1};
    });
    startOn(job::kQuietIdentify);
    EXPECT_EQ(runs, expectedRuns);
    EXPECT_EQ(shared.deviceChangeCounter.load(), 0);
    EXPECT_FALSE(shared.deviceChangeFlag.load());
    EXPECT_EQ(shared.jobCode.load(), kIdleJobCode);
}

INSTANTIATE_TEST_SUITE_P(Counts, DeviceChangeFilter,
                         ::testing::Values(std::pair{1, 1}, std::pair{47, 1}, std::pair{48, 2},
                                           std::pair{64, 1}, std::pair{80, 1}, std::pair{96, 2}));

TEST_F(WorkerTest, DeviceChangeWhileIdleRunsJobSeven) {
    std::atomic<int> runs{0};
    worker.registerJob(job::kQuietIdentify, [&] { return static_cast<std::uint8_t>(++runs); });
    startOn(kIdleJobCode);
    worker.deviceChangeNotice();
    worker.waitUntilIdle();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_FALSE(shared.deviceChangeFlag.load());
}

TEST_F(WorkerTest, QuitEndsTheThreadAtTheTopOfTheNextCycle) {
    int runs = 0;
    worker.registerJob(job::kRead, [&] {
        ++runs;
        return std::uint8_t{1};
    });
    startOn(job::kRead);
    worker.requestQuit();
    worker.join();
    worker.startJob(job::kRead);  // no thread any more: nothing runs
    EXPECT_EQ(runs, 1);
}

TEST_F(WorkerTest, RequestsMadeWhileAJobRunsAreNotLost) {
    constexpr int kRequests = 300;
    std::atomic<int> runs{0};
    std::atomic<int> started{0};
    worker.registerJob(job::kRead, [&] {
        started.fetch_add(1);
        runs.fetch_add(1);
        return std::uint8_t{1};
    });
    startOn(kIdleJobCode);
    std::thread requester([&] {
        for (int i = 0; i < kRequests; ++i) {
            worker.startJob(job::kRead);
            // Wait until the worker took the request, then make the next at once,
            // typically while the job or its post-job steps still run.
            while (started.load() <= i)
                std::this_thread::yield();
        }
    });
    requester.join();
    worker.waitUntilIdle();
    EXPECT_EQ(runs.load(), kRequests);
}

TEST_F(WorkerTest, DestroyingAWorkerEndsItsThreadFirst) {
    WorkerShared ownShared;
    std::atomic<int> runs{0};
    {
        Worker own{ownShared, channel};
        own.registerJob(job::kRead, [&] { return static_cast<std::uint8_t>(++runs); });
        ownShared.jobCode = job::kRead;
        own.start();
        own.waitUntilIdle();
    }  // a joinable thread left behind would end the process here
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(ownShared.quit.load(), 1);
}

// Jobs that record the order in which they ran.
class HandOver : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        for (std::uint8_t code : {job::kProgram, job::kErase, job::kQuietIdentify, job::kVerify,
                                  job::kRead, job::kBlankCheck}) {
            worker.registerJob(code, [this, code] {
                std::lock_guard lock(runsMutex);
                runs.push_back(code);
                return std::uint8_t{1};
            });
        }
    }
    std::vector<int> ran() {
        std::lock_guard lock(runsMutex);
        return {runs.begin(), runs.end()};
    }
    // Job 13, with a notice sent from inside the worker's own command 9 after
    // it: the filter of that cycle has passed by then.
    void runReadWithANoticeInsideCommandNine() {
        std::atomic<bool> armed{true};
        RecordingUsb::instance().setOnCall([this, &armed](const testing::UsbCall& call) {
            if (CallHold::commandFrame(cmd::kEndOfOperation)(call) && armed.exchange(false))
                worker.deviceChangeNotice();
        });
        worker.startJob(job::kRead);
        worker.waitUntilIdle();
        RecordingUsb::instance().setOnCall(nullptr);
    }

    std::mutex runsMutex;
    std::vector<std::uint8_t> runs;
};

TEST_F(HandOver, RequestInsideTheStateIndicationBeforeTheJobRunsAfterIt) {
    startOn(kIdleJobCode);
    CallHold hold(CallHold::commandFrame(cmd::kStateIndication, state::kRunning));
    worker.startJob(job::kRead);
    hold.waitUntilInside();
    EXPECT_EQ(shared.jobCode.load(), job::kRead) << "the request stores its code";
    worker.startJob(job::kErase);  // a double press lands here
    EXPECT_EQ(shared.jobCode.load(), job::kRead) << "a waiting request leaves the code alone";
    hold.releaseCall();
    worker.waitUntilIdle();
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead, job::kErase}));
    EXPECT_EQ(shared.jobCode.load(), kIdleJobCode);
}

TEST_F(HandOver, RequestRightAfterAPlugInRunsAfterJobSeven) {
    startOn(kIdleJobCode);
    CallHold hold(CallHold::commandFrame(cmd::kStateIndication, state::kRunning));
    worker.deviceChangeNotice();
    hold.waitUntilInside();
    worker.startJob(job::kProgram);
    hold.releaseCall();
    worker.waitUntilIdle();
    EXPECT_EQ(ran(), (std::vector<int>{job::kQuietIdentify, job::kProgram}));
    EXPECT_FALSE(shared.deviceChangeFlag.load());
    EXPECT_EQ(shared.deviceChangeCounter.load(), 0);
}

TEST_F(HandOver, OnlyTheLastOfSeveralWaitingRequestsRuns) {
    startOn(kIdleJobCode);
    CallHold hold(CallHold::commandFrame(cmd::kStateIndication, state::kRunning));
    worker.startJob(job::kRead);
    hold.waitUntilInside();
    worker.startJob(job::kErase);
    worker.startJob(job::kVerify);
    hold.releaseCall();
    worker.waitUntilIdle();
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead, job::kVerify}));
}

TEST_F(HandOver, NoticeDuringCommandNineAfterTheFilterRunsJobSevenNext) {
    startOn(kIdleJobCode);
    runReadWithANoticeInsideCommandNine();
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead, job::kQuietIdentify}));
    EXPECT_FALSE(shared.deviceChangeFlag.load()) << "the flag must not outlive the notice";
    EXPECT_EQ(shared.deviceChangeCounter.load(), 0);
    EXPECT_EQ(shared.jobCode.load(), kIdleJobCode);
}

TEST_F(HandOver, AWaitingRequestAndALateNoticeBothRunInTheirOrder) {
    worker.registerJob(job::kRead, [this] {
        worker.startJob(job::kErase);
        std::lock_guard lock(runsMutex);
        runs.push_back(job::kRead);
        return std::uint8_t{1};
    });
    startOn(kIdleJobCode);
    runReadWithANoticeInsideCommandNine();
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead, job::kErase, job::kQuietIdentify}));
}

TEST_F(HandOver, RequestsWaitingWhileTheFilterRepeatsJobSevenStillRun) {
    worker.registerJob(job::kRead, [this] {
        for (int i = 0; i < 48; ++i)
            worker.deviceChangeNotice();
        worker.startJob(job::kErase);
        std::lock_guard lock(runsMutex);
        runs.push_back(job::kRead);
        return std::uint8_t{1};
    });
    startOn(job::kRead);
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead, job::kQuietIdentify, job::kErase}));
}

TEST_F(HandOver, TheRepeatedJobSevenFindsItsOwnCodeInTheByte) {
    std::atomic<int> codeSeenBySeven{-1};
    worker.registerJob(job::kRead, [this] {
        for (int i = 0; i < 48; ++i)
            worker.deviceChangeNotice();
        shared.jobCode = 0x55;  // a job may use the byte as a signal (find does)
        return std::uint8_t{1};
    });
    worker.registerJob(job::kQuietIdentify, [&] {
        codeSeenBySeven = shared.jobCode.load();
        return std::uint8_t{1};
    });
    startOn(job::kRead);
    EXPECT_EQ(codeSeenBySeven.load(), job::kQuietIdentify);
}

TEST_F(HandOver, QuitDuringAJobEndsTheThreadWithoutRunningWhatWaits) {
    worker.registerJob(job::kRead, [this] {
        worker.startJob(job::kErase);
        worker.requestQuit();
        std::lock_guard lock(runsMutex);
        runs.push_back(job::kRead);
        return std::uint8_t{1};
    });
    startOn(job::kRead);
    worker.join();
    EXPECT_EQ(ran(), (std::vector<int>{job::kRead}));
}

TEST_F(HandOver, WaitingForIdleEndsWhenTheThreadEndsDuringAJob) {
    std::latch inJob{1};
    std::latch leaveJob{1};
    worker.registerJob(job::kRead, [&] {
        inJob.count_down();
        leaveJob.wait();
        return std::uint8_t{1};
    });
    startOn(kIdleJobCode);
    worker.startJob(job::kRead);
    inJob.wait();
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        worker.waitUntilIdle();
        returned = true;
    });
    worker.requestQuit();
    leaveJob.count_down();
    waiter.join();
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(worker.idle());
}

// Requests and notices from two threads at once: every request made after the
// previous one started runs exactly once, in order, and no notice is left
// pending when all is quiet.
TEST_F(HandOver, InterleavedNoticesAndRequestsLoseAndRepeatNothing) {
    constexpr int kRequests = 400;
    const std::uint8_t codes[] = {job::kProgram, job::kErase, job::kVerify, job::kRead,
                                  job::kBlankCheck};
    std::atomic<int> started{0};
    for (std::uint8_t code : codes) {
        worker.registerJob(code, [this, code, &started] {
            {
                std::lock_guard lock(runsMutex);
                runs.push_back(code);
            }
            started.fetch_add(1);
            return std::uint8_t{1};
        });
    }
    startOn(kIdleJobCode);
    std::vector<int> requested;
    std::atomic<bool> done{false};
    std::thread notifier([&] {
        std::mt19937 random(7);
        while (!done.load()) {
            worker.deviceChangeNotice();
            for (unsigned spin = random() % 2000; spin > 0; --spin)
                std::this_thread::yield();
        }
    });
    std::mt19937 random(11);
    for (int i = 0; i < kRequests; ++i) {
        const std::uint8_t code = codes[random() % std::size(codes)];
        requested.push_back(code);
        worker.startJob(code);
        while (started.load() <= i)
            std::this_thread::yield();
    }
    done = true;
    notifier.join();
    worker.waitUntilIdle();

    std::vector<int> requestsRun;
    for (int code : ran()) {
        if (code != job::kQuietIdentify)
            requestsRun.push_back(code);
    }
    EXPECT_EQ(requestsRun, requested);
    EXPECT_FALSE(shared.deviceChangeFlag.load());
    EXPECT_EQ(shared.deviceChangeCounter.load(), 0);
    EXPECT_EQ(shared.jobCode.load(), kIdleJobCode);
}

}  // namespace
}  // namespace nyra
