#include "device/worker.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "support/fake_link_host.h"
#include "support/recording_usb.h"

namespace nyra {
namespace {

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

}  // namespace
}  // namespace nyra
