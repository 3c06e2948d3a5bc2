// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/job_frame.h"

#include <array>
#include <cstdio>

#include "ops/identify.h"
#include "ops/job_locks.h"

namespace nyra {

using namespace ids;

namespace {

constexpr int kSecondsPerDay = 24 * 3600;

constexpr std::array kButtonJobs{
    ButtonJob{job::kErase, kBtnErase, ftext(54), itext(36), &JobFlags::stopErase,
              &JobFlags::eraseRunning},
    ButtonJob{job::kProgram, kBtnProgram, ftext(55), itext(38), &JobFlags::stopProgram,
              &JobFlags::programRunning},
    ButtonJob{job::kVerify, kBtnVerify, ftext(56), itext(40), &JobFlags::stopVerify,
              &JobFlags::verifyRunning},
    ButtonJob{job::kRead, kBtnRead, ftext(57), itext(42), &JobFlags::stopRead,
              &JobFlags::readRunning},
    ButtonJob{job::kBlankCheck, kBtnBlankCheck, ftext(58), itext(44), &JobFlags::stopBlankCheck,
              nullptr},
};

int secondOfDay(const Clock& clock) {
    const LocalTime t = clock.localTime();
    return t.hour * 3600 + t.minute * 60 + t.second;
}

std::string format(const char* pattern, auto... values) {
    const int n = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}

}  // namespace

std::span<const ButtonJob> buttonJobs() {
    return kButtonJobs;
}

const ButtonJob* buttonJobOf(int button) {
    for (const ButtonJob& entry : kButtonJobs) {
        if (entry.button == button)
            return &entry;
    }
    return nullptr;
}

const ButtonJob* buttonJobFor(std::uint8_t job) {
    for (const ButtonJob& entry : kButtonJobs) {
        if (entry.job == job)
            return &entry;
    }
    return nullptr;
}

void setJobCaption(Roles<ReportRole, ControlRole> context, const ButtonJob& job, bool running) {
    context.panel.setText(job.button, context.text(running ? job.runningCaption : job.idleCaption));
}

std::optional<std::uint8_t> startOrStop(Roles<ReportRole, DataRole, ControlRole> context,
                                        const ButtonJob& job) {
    const std::string& runningCaption = context.text(job.runningCaption);
    // Without a running caption (texts missing) the idle and running captions
    // would both be empty and the button could never start its job.
    if (!runningCaption.empty() && context.panel.text(job.button) == runningCaption) {
        (context.flags.*job.stopRequest).store(true);
        return std::nullopt;
    }
    (context.flags.*job.stopRequest).store(false);
    if ((job.job == job::kProgram || job.job == job::kVerify) && context.flags.fileLoaded.load())
        logDataFile(context);
    return job.job;
}

bool programmerFree(Roles<ReportRole, ControlRole> context) {
    if (!context.flags.programmerBlocked.load())
        return true;
    context.alert(itext(56), true);
    return false;
}

bool dataFileLoaded(Roles<ReportRole, ControlRole> context) {
    if (context.flags.fileLoaded.load())
        return true;
    context.alert(itext(57));
    context.box(context.text(itext(57)), BoxIcon::Warning);
    return false;
}

void logDataFile(Roles<ReportRole, DataRole> context) {
    if (auto file = context.loadedFile.get())
        context.log.dataFile(file->path, file->bytes);
}

bool startChecks(ChipJobRoles context) {
    if (!programmerFree(context))
        return false;
    if (context.autoIdentifyOn()) {
        const int found = identifyChip(context, true, true);
        if (found == kIdentifyFailed || found == kIdentifyNoProgrammer)
            return false;
        if (found == kIdentifyNoMatch && context.knownChipOnly &&
            !namesChipFamily(context.identified.last().identity)) {
            context.alert(itext(75), true);
            return false;
        }
    } else if (context.link().ensureLink() == kLinkStop) {
        context.selection.computeParameters(context.selection.selectedChip());
        return false;
    }
    return !(context.flags.chipChanged.load() && context.autoIdentifyOn());
}

JobRun::JobRun(Roles<ReportRole, ControlRole> context, std::uint8_t job)
    : context_(context), job_(job), button_(buttonJobFor(job)) {
    lockControls(context_.panel, job_);
    // Set only while the controls are locked: the close handler asks about it.
    if (button_ && button_->running)
        (context_.flags.*button_->running).store(true);
    if (button_)
        setJobCaption(context_, *button_, true);
}

JobRun::~JobRun() {
    finish();
}

void JobRun::finish() {
    if (finished_)
        return;
    finished_ = true;
    if (button_ && button_->running)
        (context_.flags.*button_->running).store(false);
    unlockControls(context_.panel, job_, context_.editMode());
    if (button_)
        setJobCaption(context_, *button_, false);
}

ElapsedTime::ElapsedTime(const Clock& clock) : clock_(clock), startSecond_(secondOfDay(clock)) {}

int ElapsedTime::seconds() const {
    int elapsed = secondOfDay(clock_) - startSecond_;
    if (elapsed < 0)
        elapsed += kSecondsPerDay;
    return elapsed;
}

std::string timedText(const std::string& text, int seconds) {
    return format("%s%d:%d", text.c_str(), seconds / 60, seconds % 60);
}

std::string bytesTimedText(const std::string& text, std::uint64_t bytes, int seconds) {
    return format("%s %llu byte(s),%d:%d", text.c_str(), static_cast<unsigned long long>(bytes),
                  seconds / 60, seconds % 60);
}

std::string overlongTimedText(const std::string& text, std::uint64_t bytes, int seconds) {
    return format("%s%llu byte(s),%d:%d", text.c_str(), static_cast<unsigned long long>(bytes),
                  seconds / 60, seconds % 60);
}

std::string timeText(int seconds) {
    return format("%d:%d", seconds / 60, seconds % 60);
}

std::string stepsTimedText(const std::string& text, const std::string& steps, int seconds) {
    return format("%s%s,%d:%d", text.c_str(), steps.c_str(), seconds / 60, seconds % 60);
}

void playFinishSound(Roles<ReportRole, ControlRole> context) {
    if (context.soundOn())
        context.frontend.playSound(context.finishSoundPath);
}

void playEraseSound(Roles<ReportRole, ControlRole> context) {
    if (context.soundOn())
        context.frontend.playSound(context.deleteSoundPath);
}

}  // namespace nyra
