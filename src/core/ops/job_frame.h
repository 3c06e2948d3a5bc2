// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ops/job_context.h"

namespace nyra {

// The jobs that own a start-or-stop button.
struct ButtonJob {
    std::uint8_t job;
    int button;
    TextKey idleCaption;
    TextKey runningCaption;
    std::atomic<bool> JobFlags::*stopRequest;
    std::atomic<bool> JobFlags::*running;  // nullptr: the job has no running flag
};

// The five job buttons that double as stop buttons while their job runs.
std::span<const ButtonJob> buttonJobs();
const ButtonJob* buttonJobOf(int button);
const ButtonJob* buttonJobFor(std::uint8_t job);

void setJobCaption(Roles<ReportRole, ControlRole> context, const ButtonJob& job, bool running);

// The start-or-stop handler of a job button: a press on the running caption
// only raises the stop request. Otherwise the stop request is cleared and the
// job's code is returned for the caller to start.
std::optional<std::uint8_t> startOrStop(Roles<ReportRole, DataRole, ControlRole> context,
                                        const ButtonJob& job);

// The programmer is free for a chip job; else the alert itext 56, with a beep.
bool programmerFree(Roles<ReportRole, ControlRole> context);
// A data file is loaded; else the alert and the box itext 57.
bool dataFileLoaded(Roles<ReportRole, ControlRole> context);
// The loaded data file's log line that a job writing or comparing it starts with.
void logDataFile(Roles<ReportRole, DataRole> context);

// The checks a chip job started directly makes: programmer not blocked,
// identification (or the link), no unconfirmed chip change. False: the job
// returns 0.
bool startChecks(ChipJobRoles context);

// The frame around a job's exchange with the programmer: running flag,
// locked controls and the running caption between begin() and finish().
class JobRun {
public:
    JobRun(Roles<ReportRole, ControlRole> context, std::uint8_t job);
    ~JobRun();
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    void finish();

private:
    Roles<ReportRole, ControlRole> context_;
    std::uint8_t job_;
    const ButtonJob* button_;
    bool finished_ = false;
};

// Seconds of the time of day at a job's start, for its elapsed time.
class ElapsedTime {
public:
    explicit ElapsedTime(const Clock& clock);
    // Seconds since the start; a job that ran past midnight still counts forward.
    int seconds() const;

private:
    const Clock& clock_;
    int startSecond_;
};

// The result texts of the jobs.
std::string timedText(const std::string& text, int seconds);  // erase, read
std::string bytesTimedText(const std::string& text, std::uint64_t bytes, int seconds);  // program
std::string overlongTimedText(const std::string& text, std::uint64_t bytes, int seconds);
std::string timeText(int seconds);  // verify
std::string stepsTimedText(const std::string& text, const std::string& steps, int seconds);

void playFinishSound(Roles<ReportRole, ControlRole> context);
void playEraseSound(Roles<ReportRole, ControlRole> context);

}  // namespace nyra
