// SPDX-License-Identifier: GPL-3.0-or-later
// What every chip job promises, checked against the simulated chip itself for
// every job and every programmer fault, through the worker in virtual time:
// a job reports success only when the chip holds what it says, a failure or
// stop shows in the failure colour and leaves the user's data alone, and the
// next job finds the chip again on a clean link.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ops/batch_cycle_job.h"
#include "ops/chip_fill_job.h"
#include "ops/otp_jobs.h"
#include "unit/ops/chip_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::randomBytes;

constexpr std::size_t kFileBytes = 300000;
constexpr std::uint32_t kFillAddress = 0x1000;
constexpr std::uint32_t kFillLength = 0x2000;
constexpr std::uint8_t kFillByte = 0x5A;
constexpr std::size_t kOtpFileBytes = 256;
constexpr std::uint8_t kOtpJobCode = 60;  // a code of this test's own

enum class Job {
    Read,
    Program,
    Erase,
    BlankOnBlank,
    BlankOnData,
    VerifyMatch,
    VerifyDiffers,
    Auto,
    Fill,
    OtpProgram,
    OtpRead,
    BatchCycle
};

struct JobCase {
    Job job;
    const char* name;
    std::vector<int> commands;  // the command codes it sends, to refuse
    bool hasProgress;           // stops at a percent of its progress bar
    const char* waitStatus;     // else a stop once this status shows ("" none)
    bool successIsRight;        // what a sound run on this chip must report
};

const std::vector<JobCase>& jobCases() {
    static const std::vector<JobCase> cases{
        {Job::Read, "Read", {13, 7}, true, "", true},
        {Job::Program, "Program", {1, 2, 7}, true, "", true},
        {Job::Erase, "Erase", {5, 7}, false, "Erasing...", true},
        {Job::BlankOnBlank, "BlankOnBlank", {15, 7}, false, "Blank checking...", true},
        {Job::BlankOnData, "BlankOnData", {15, 7}, false, "Blank checking...", false},
        {Job::VerifyMatch, "VerifyMatch", {8, 7}, true, "", true},
        {Job::VerifyDiffers, "VerifyDiffers", {8, 7}, false, "", false},
        {Job::Auto, "Auto", {5, 1, 2, 8, 7}, true, "", true},
        {Job::Fill, "Fill", {19, 2, 7}, false, "", true},
        {Job::OtpProgram, "OtpProgram", {7}, false, "", true},
        {Job::OtpRead, "OtpRead", {7}, false, "", true},
        {Job::BatchCycle, "BatchCycle", {5, 1, 2, 8, 34}, true, "", true},
    };
    return cases;
}

enum class Kind { None, Fault, Flaky, EmptySocket, StopAt, StopInWait };

struct Row {
    JobCase entry;
    Kind kind;
    std::string fault;  // simulator fault name
    std::string value;  // its value; flaky: the seed; stop: the percent
    std::string name;
};

std::vector<Row> rows() {
    std::vector<Row> out;
    for (const JobCase& entry : jobCases()) {
        const auto add = [&](Kind kind, std::string fault, std::string value) {
            std::string name = std::string(entry.name) + "_" + fault + "_" + value;
            std::replace_if(
                name.begin(), name.end(), [](char c) { return !std::isalnum(c) && c != '_'; }, '_');
            out.push_back({entry, kind, std::move(fault), std::move(value), std::move(name)});
        };
        add(Kind::None, "none", "");
        for (const char* bytes : {"2000", "60000", "400000"}) {
            add(Kind::Fault, "unplug_after", bytes);
            add(Kind::Fault, "pull_chip_after", bytes);
        }
        for (const char* fault : {"failed_reads", "stall"}) {
            add(Kind::Fault, fault, "1@4");
            add(Kind::Fault, fault, "always@8");
        }
        // Data that comes in more pieces is still all the data.
        add(Kind::Fault, "short_reads", "4@25");
        add(Kind::Fault, "short_reads", "12@40");
        for (const char* seed : {"1", "2", "3"})
            add(Kind::Flaky, "flaky_reads", seed);
        add(Kind::EmptySocket, "empty_socket", "");
        for (const int code : entry.commands) {
            add(Kind::Fault, "refuse", std::to_string(code) + ":1");
            add(Kind::Fault, "refuse", std::to_string(code) + ":always");
        }
        if (entry.job == Job::OtpProgram || entry.job == Job::OtpRead) {
            add(Kind::Fault, "otp_refuse", "1@3");
            add(Kind::Fault, "otp_short_reply", "1@4");
        }
        if (entry.job == Job::OtpProgram)
            add(Kind::Fault, "otp_write_fails", "1@2");
        if (entry.hasProgress) {
            for (const char* percent : {"10", "50", "99"})
                add(Kind::StopAt, "stop", percent);
        }
        if (*entry.waitStatus)
            add(Kind::StopInWait, "stop", "wait");
    }
    return out;
}

// The stop button pressed once the job's progress reaches a percent, or once
// a status text shows.
class StopTrigger {
public:
    StopTrigger(Panel& panel, JobFlags& flags, std::function<bool(const Panel&)> when)
        : panel_(panel), token_(panel.subscribe([this, &flags, when](const PanelChange& c) {
              if (c.property == PanelProperty::Text && when(panel_)) {
                  for (auto* request : {&flags.stopRead, &flags.stopProgram, &flags.stopErase,
                                        &flags.stopVerify, &flags.stopBlankCheck})
                      request->store(true);
              }
          })) {}
    ~StopTrigger() { panel_.unsubscribe(token_); }
    StopTrigger(const StopTrigger&) = delete;
    StopTrigger& operator=(const StopTrigger&) = delete;

private:
    Panel& panel_;
    Panel::Token token_;
};

int percentOf(const std::string& label) {
    if (!label.ends_with("%"))
        return -1;
    std::size_t start = label.size() - 1;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(label[start - 1])))
        --start;
    return start == label.size() - 1 ? -1 : std::stoi(label.substr(start));
}

// The batch window as the cycle sees it: one chip, no series to wait in.
class OneChipPort final : public BatchPort {
public:
    std::string currentBatchFile() const override { return {}; }
    std::string currentBatchDocument() const override { return {}; }
    bool seriesRunning() const override { return false; }
    bool chipWriting() override { return true; }
    void postResult(std::uint8_t code) override {
        std::lock_guard lock(mutex_);
        results_.push_back(code);
    }
    bool passed() const {
        std::lock_guard lock(mutex_);
        return std::find(results_.begin(), results_.end(), batch_result::kPassed) != results_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> results_;
};

class SilentOtpWindow final : public OtpPort {
public:
    explicit SilentOtpWindow(std::string file) : file_(std::move(file)) {}
    void setLog(const std::string&) override {}
    void appendLog(const std::string&) override {}
    void setLockBox(bool, std::optional<bool>) override {}
    void enableProgram(bool) override {}
    void enableReadVerifyBlank(bool) override {}
    void enableSave(bool) override {}
    std::string filePath() const override { return file_; }
    bool lockTicked() const override { return false; }

private:
    std::string file_;
};

class JobPromiseTest : public ops_test::ChipJobTest, public ::testing::WithParamInterface<Row> {
protected:
    std::string itextFile() const override {
        return std::string(ops_test::kJobItext) +
               "72=No answer from the chip!\r\n73=Chip identified\r\n75=ID not in the "
               "database\r\n97=Fill failed!\r\n100=Fill done!\r\n";
    }

    bool otpJob() const {
        return GetParam().entry.job == Job::OtpProgram || GetParam().entry.job == Job::OtpRead;
    }
    const char* simulatedChip() const { return otpJob() ? "W25Q32FV" : "W25X40"; }

    // The chip's contents before the job, and the user's file.
    void prepare() {
        const Job job = GetParam().entry.job;
        if (otpJob()) {
            ASSERT_TRUE(simulator.swapChip(0, *sim::builtinChip(simulatedChip())));
        }
        const std::size_t size = simulator.chipContents(0).size();
        file_ = randomBytes(kFileBytes, 1);
        loadData(file_);
        before_ = randomBytes(size, 2);
        programmed_ = file_;
        programmed_.resize(size, 0xFF);
        std::vector<std::uint8_t> contents = before_;
        if (job == Job::Program || job == Job::BlankOnBlank)
            contents.assign(size, 0xFF);
        if (job == Job::VerifyMatch || job == Job::VerifyDiffers)
            contents = programmed_;
        if (job == Job::VerifyDiffers)
            contents[kFileBytes / 2] ^= 0x10;
        ASSERT_TRUE(simulator.loadChipContents(0, contents));
        before_ = contents;
        workingBefore_ = dir.read("u_mod1.dll");
        if (job == Job::Fill) {
            state.command(kCmdChipFill);
            Panel& fields = state.chipFillWindow().panel();
            fields.setText(kChipFillAddress, "1000");
            fields.setText(kChipFillLength, std::to_string(kFillLength));
            fields.setText(kChipFillByte, "5A");
        }
        if (job == Job::BatchCycle)
            state.setBatchPort(&port_);
        if (job == Job::OtpRead) {
            otpArea_ = randomBytes(simulator.otpContents(0).size(), 4);
            ASSERT_TRUE(simulator.loadOtpContents(0, otpArea_));
        }
        if (otpJob()) {
            otpFile_ = randomBytes(kOtpFileBytes, 3);
            otpWindow_.emplace(dir.write("otp.bin", std::string(otpFile_.begin(), otpFile_.end())));
        }
    }

    void applyFault() {
        const Row& row = GetParam();
        std::string error;
        if (row.kind == Kind::Fault) {
            ASSERT_TRUE(simulator.setFault(0, row.fault, row.value, &error)) << error;
        }
        if (row.kind == Kind::Flaky) {
            ASSERT_TRUE(simulator.setFault(0, "seed", row.value, &error)) << error;
            ASSERT_TRUE(simulator.setFault(0, "flaky_reads", "150", &error)) << error;
        }
        if (row.kind == Kind::EmptySocket) {
            ASSERT_TRUE(simulator.removeChip(0));
        }
    }

    // Runs the job through the worker; true when it reported success.
    bool runJob() {
        const Row& row = GetParam();
        std::optional<StopTrigger> stop;
        if (row.kind == Kind::StopAt) {
            const int percent = std::stoi(row.value);
            stop.emplace(state.panel(), state.flags(), [percent](const Panel& p) {
                return percentOf(p.text(kProgressBar)) >= percent;
            });
        }
        if (row.kind == Kind::StopInWait) {
            const std::string text = row.entry.waitStatus;
            stop.emplace(state.panel(), state.flags(),
                         [text](const Panel& p) { return p.text(kStatusLine) == text; });
        }
        std::uint8_t result = 0;
        const auto through = [&](std::uint8_t code, std::function<std::uint8_t()> job) {
            state.worker().registerJob(code, [&result, job] { return result = job(); });
            state.startJob(code);
            state.worker().waitUntilIdle();
        };
        JobContext& c = context();
        switch (row.entry.job) {
            case Job::Read:
                through(job::kRead, [&] { return readChip(c); });
                return result == 1;
            case Job::Program:
                through(job::kProgram, [&] { return programChip(c, true); });
                return result == 1;
            case Job::Erase:
                through(job::kErase, [&] { return eraseChip(c, true); });
                return result == 1;
            case Job::BlankOnBlank:
            case Job::BlankOnData:
                through(job::kBlankCheck, [&] { return blankCheckChip(c); });
                return result == 1;
            case Job::VerifyMatch:
            case Job::VerifyDiffers:
                through(job::kVerify, [&] { return verifyChip(c, true); });
                return result == 1;
            case Job::Auto:
                through(job::kAuto, [&] { return automaticSequence(c); });
                return result == 1;
            case Job::Fill:
                // The fill's result byte is always 0: its status says whether it was done.
                state.startJob(job::kChipFill);
                state.worker().waitUntilIdle();
                return state.chipFillWindow().panel().text(kChipFillStatus) == "Fill done!";
            case Job::OtpProgram:
                through(kOtpJobCode, [&] {
                    OtpJobContext otp{c, *otpWindow_, otpState_};
                    return programOtp(otp);
                });
                return result == 1;
            case Job::OtpRead:
                through(kOtpJobCode, [&] {
                    OtpJobContext otp{c, *otpWindow_, otpState_};
                    return readOtp(otp);
                });
                return result == 1;
            case Job::BatchCycle:
                state.windowMessage(kMsgBatchRunRequest, 0);
                state.worker().waitUntilIdle();
                return port_.passed();
        }
        return false;
    }

    // What the chip must hold when the job reported success.
    void expectPromiseKept() {
        const auto contents = chip();
        switch (GetParam().entry.job) {
            case Job::Read:
                EXPECT_EQ(dir.read("u_mod1.dll"), std::string(contents.begin(), contents.end()))
                    << "the data shown is the chip's";
                EXPECT_EQ(state.fileLoader().loadedPath(), dir.file("u_mod0.dll"));
                break;
            case Job::Program:
            case Job::Auto:
            case Job::BatchCycle:
            case Job::VerifyMatch:
                EXPECT_TRUE(contents == programmed_) << "the file, then erased bytes";
                break;
            case Job::Erase:
            case Job::BlankOnBlank:
                EXPECT_TRUE(std::all_of(contents.begin(), contents.end(),
                                        [](std::uint8_t b) { return b == 0xFF; }));
                break;
            case Job::BlankOnData:
            case Job::VerifyDiffers:
                ADD_FAILURE() << "no sound job reports success here";
                break;
            case Job::Fill: {
                auto expected = before_;
                std::fill_n(expected.begin() + kFillAddress, kFillLength, kFillByte);
                EXPECT_TRUE(contents == expected) << "the range filled, the rest as it was";
                break;
            }
            case Job::OtpRead:
                ASSERT_EQ(otpState_.dataLength, otpArea_.size());
                EXPECT_TRUE(std::equal(otpArea_.begin(), otpArea_.end(), otpState_.data.begin()))
                    << "what the window may save is the area";
                break;
            case Job::OtpProgram: {
                const auto area = simulator.otpContents(0);
                ASSERT_GE(area.size(), otpFile_.size());
                EXPECT_TRUE(std::equal(otpFile_.begin(), otpFile_.end(), area.begin()));
                break;
            }
        }
    }

    // A failed or stopped job: the failure colour, the user's data as it was,
    // and a job that does not write never changed the chip.
    void expectNothingClaimed() {
        const Job job = GetParam().entry.job;
        // The OTP window reports in its own log.
        if (!otpJob()) {
            EXPECT_EQ(state.statusKind(), StatusKind::Alert) << status();
        }
        for (const char* success :
             {"Done", "Verify OK", "Read ended", "Erase ended", "Blank,", "Fill done"})
            EXPECT_EQ(status().find(success), std::string::npos) << status();
        EXPECT_EQ(state.fileLoader().loadedPath(), dir.file("data.bin"));
        EXPECT_TRUE(dir.read("u_mod1.dll") == workingBefore_) << "the working data is unchanged";
        EXPECT_TRUE(dir.read("data.bin") == std::string(file_.begin(), file_.end()));
        if (job == Job::OtpRead) {
            EXPECT_EQ(otpState_.dataLength, 0u) << "nothing half read to save";
        }
        if (simulator.chip(0) &&
            (job == Job::Read || job == Job::VerifyMatch || job == Job::VerifyDiffers ||
             job == Job::BlankOnBlank || job == Job::BlankOnData || otpJob())) {
            EXPECT_TRUE(chip() == before_) << "a job that only reads changed the chip";
        }
    }

    // The state the programmer was told at the end of the job's cycle.
    void expectToldState(bool success) {
        const Row& row = GetParam();
        // The chip fill's result byte is 0 whatever happened; its status says more.
        if (row.entry.job == Job::Fill || !simulator.plugged(0) ||
            (row.fault == "refuse" && row.value.starts_with("34:")))
            return;
        std::optional<std::uint8_t> last;
        for (const auto& frame : simulator.frames(0)) {
            if ((frame[1] & 0x3F) == cmd::kStateIndication)
                last = frame[13];
        }
        ASSERT_TRUE(last);
        EXPECT_EQ(*last, success ? state::kSucceeded : state::kFailed);
    }

    // The next job: the chip back in its socket, the programmer plugged, the
    // faults gone; identification finds the chip, every time.
    void expectNextJobFindsTheChip() {
        std::string error;
        ASSERT_TRUE(simulator.setFault(0, "clear", "1", &error)) << error;
        if (!simulator.plugged(0)) {
            ASSERT_TRUE(simulator.plug(0));
        }
        if (!simulator.chip(0)) {
            ASSERT_TRUE(simulator.insertChip(0, *sim::builtinChip(simulatedChip())));
        }
        state.identified().store({});
        state.startJob(job::kFullIdentify);
        state.worker().waitUntilIdle();
        const IdentifyOutcome found = state.identified().last();
        EXPECT_EQ(found.result, kIdentifyMatched) << status();
        EXPECT_EQ(found.matches.size(), 1u);
        EXPECT_EQ(state.selection().selectedDevice(), simulatedChip());
    }

    void TearDown() override {
        state.worker().waitUntilIdle();
        state.setBatchPort(nullptr);
    }

    std::vector<std::uint8_t> file_, before_, programmed_, otpFile_, otpArea_;
    std::string workingBefore_;
    OneChipPort port_;
    std::optional<SilentOtpWindow> otpWindow_;
    OtpState otpState_;
};

TEST_P(JobPromiseTest, SuccessOnlyWhenTheChipHoldsWhatTheJobSays) {
    const Row& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(prepare());
    ASSERT_NO_FATAL_FAILURE(applyFault());
    simulator.clearFrames(0);
    const bool success = runJob();

    if (success)
        expectPromiseKept();
    else
        expectNothingClaimed();
    // The OTP frames' replies are checked whole: one that comes in pieces fails the step.
    if (row.kind == Kind::None || (row.fault == "short_reads" && !otpJob())) {
        EXPECT_EQ(success, row.entry.successIsRight) << status();
    }
    if (row.kind == Kind::EmptySocket) {
        EXPECT_FALSE(success) << "an empty socket is never a chip";
    }
    expectToldState(success);
    expectNextJobFindsTheChip();
}

INSTANTIATE_TEST_SUITE_P(JobPromiseRows, JobPromiseTest, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace nyra
