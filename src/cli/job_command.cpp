// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_command.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "console_frontend.h"
#include "console_program.h"
#include "detect_command.h"
#include "json_text.h"
#include "ops/chip_jobs.h"
#include "ops/socket_check.h"
#include "progress_echo.h"
#include "shell/app_state.h"
#include "status_echo.h"
#include "tools/file_copy.h"
#include "ui/ids.h"

namespace nyra::cli {

namespace {

struct JobEntry {
    const char* command;
    std::uint8_t code;
    std::uint8_t (*run)(JobContext&);
    bool needsFile;
};

constexpr JobEntry kJobs[] = {
    {"read", job::kRead, [](JobContext& c) { return readChip(c); }, true},
    {"program", job::kProgram, [](JobContext& c) { return programChip(c, true); }, true},
    {"erase", job::kErase, [](JobContext& c) { return eraseChip(c, true); }, false},
    {"blank", job::kBlankCheck, [](JobContext& c) { return blankCheckChip(c); }, false},
    {"verify", job::kVerify, [](JobContext& c) { return verifyChip(c, true); }, true},
    {"auto", job::kAuto, [](JobContext& c) { return automaticSequence(c); }, true},
};

const JobEntry* entryOf(const std::string& command) {
    for (const JobEntry& entry : kJobs) {
        if (command == entry.command)
            return &entry;
    }
    return nullptr;
}

// Passes Ctrl-C on to the stop flags of every job while one runs.
class StopRelay {
public:
    StopRelay(JobFlags& flags, const std::atomic<bool>& stop)
        : thread_([&flags, &stop, this] {
              while (!done_.load()) {
                  if (stop.load()) {
                      for (auto* request : {&flags.stopRead, &flags.stopProgram, &flags.stopErase,
                                            &flags.stopVerify, &flags.stopBlankCheck})
                          request->store(true);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~StopRelay() {
        done_.store(true);
        thread_.join();
    }
    StopRelay(const StopRelay&) = delete;
    StopRelay& operator=(const StopRelay&) = delete;

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

bool selectChip(AppState& state, const std::string& device) {
    for (std::uint32_t i = 0; i < state.catalogue().count(); ++i) {
        if (state.catalogue().record(i)->device == device)
            return state.selection().selectRecord(i);
    }
    return false;
}

}  // namespace

int failedJobStatus(Link& link) {
    return link.connected() && link.devicePresent() ? kExitJobFailed : kExitNoProgrammer;
}

bool isJobCommand(const std::string& command) {
    return entryOf(command) != nullptr;
}

bool jobNeedsFile(const std::string& command) {
    const JobEntry* entry = entryOf(command);
    return entry && entry->needsFile;
}

void printJobReport(std::ostream& out, const JobReport& report) {
    out << "{\"job\":" << jsonString(report.job) << ",\"chip\":" << jsonString(report.chip)
        << ",\"bytes\":" << report.bytes << ",\"elapsed\":" << report.elapsed
        << ",\"data_checksum\":" << jsonString(report.dataChecksum)
        << ",\"chip_checksum\":" << jsonString(report.chipChecksum);
    if (report.mismatches)
        out << ",\"mismatches\":" << *report.mismatches;
    out << ",\"status\":" << jsonString(report.status)
        << ",\"result\":" << jsonString(report.exit == 0 ? "ok" : "failed")
        << ",\"exit\":" << report.exit << "}\n"
        << std::flush;
}

namespace {

// The run itself; every way out fills in the report and returns its status.
int runJobReporting(const std::string& programFolder, const JobRequest& request,
                    const JobEntry& entry, const UsbApi& usb, Clock& clock, std::ostream& out,
                    std::ostream& err, const std::atomic<bool>& stop, JobReport& report) {
    const auto endRun = [&](int status, const std::string& why) {
        err << why << '\n';
        report.status = why;
        return status;
    };
    ConsoleFrontend console(err);
    // Without --yes a question ends the job rather than guess: No to a file
    // longer than the chip, Cancel at the first mismatch.
    console.setAnswers(request.yes ? BoxAnswer::Yes : BoxAnswer::No,
                       request.yes ? BoxAnswer::No : BoxAnswer::Cancel);
    ConsoleProgram program(programFolder, usb, clock, console);
    AppState& state = program.state();
    const auto statusLine = [&state] { return state.panel().text(ids::kStatusLine); };

    // A named chip turns auto-identify off for this run only; the user's
    // switches file never sees it.
    if (request.chip) {
        state.setSwitchForRun(ids::kCmdAutoIdentify, false);
        if (!selectChip(state, *request.chip))
            return endRun(kExitUsage, "no chip " + *request.chip + " in the catalogue");
    } else {
        // Identified first, so no job runs on a chip the program only guessed.
        state.identified().store({});
        state.startJob(job::kFullIdentify);
        state.worker().waitUntilIdle();
        const IdentifyOutcome found = state.identified().last();
        if (found.result != kIdentifyMatched) {
            const int status = detectExitStatus(found);
            if (status == kExitNoProgrammer) {
                report.status = statusLine();
                return status;
            }
            return endRun(kExitNotIdentified,
                          "the chip could not be identified: name it with --chip");
        }
    }
    report.chip = state.selection().selectedDevice();
    const std::uint32_t chipSize = state.selection().chipSize();

    // A long load ends at Ctrl-C or a signal as a job would.
    state.fileLoader().hooks().stopRequested = [&stop] { return stop.load(); };
    if (entry.needsFile && request.command != "read" &&
        !state.fileLoader().loadFile(request.file, true)) {
        report.status = statusLine();
        return stop.load() ? kExitStopped : kExitJobFailed;
    }

    std::uint8_t result = 0;
    // A named chip turns identification off: the socket is still asked what it
    // holds, so that an empty socket is never read, checked or written as a chip.
    std::optional<SocketFit> socket;
    state.worker().registerJob(entry.code, [&] {
        if (request.chip) {
            socket = checkNamedChip(state.jobContext());
            if (*socket != SocketFit::Fits)
                return result = 0;
        }
        result = entry.run(state.jobContext());
        return result;
    });
    const auto started = std::chrono::steady_clock::now();
    {
        // The JSON object is all a script reads on out.
        std::optional<ProgressEcho> progress;
        if (!request.json)
            progress.emplace(state.panel(), ids::kProgressBar, out, request.terminal, chipSize);
        StopRelay relay(state.flags(), stop);
        state.startJob(entry.code);
        state.worker().waitUntilIdle();
    }
    report.elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // What reached the chip or came from it: the last transfer's count, or the
    // whole chip for an erase or blank check that finished.
    const bool transfers = request.command != "erase" && request.command != "blank";
    report.bytes = transfers ? state.progress().done() : (result ? chipSize : 0);
    report.status = statusLine();
    // The file is replaced only by a whole image of a read that succeeded.
    if (request.command == "read" && result && !stop.load()) {
        const WholeCopy copied = copyWholeFile(state.imagePath0(), request.file);
        if (copied.error != 0) {
            report.status = copied.failedPath + ": " + errnoText(copied.error);
            err << report.status << '\n';
            result = 0;
        }
    }
    const std::uint32_t mismatches = state.flags().verifyMismatches.load();
    if (request.command == "verify" || request.command == "auto")
        report.mismatches = mismatches;
    report.dataChecksum = state.dataBuffer().dataChecksumText();
    report.chipChecksum = state.dataBuffer().chipChecksumText();

    // A stop asked for is what ended the run, whatever the socket said meanwhile.
    if (stop.load())
        return kExitStopped;
    if (socket == SocketFit::NoProgrammer)
        return kExitNoProgrammer;
    if (socket == SocketFit::NoChip)
        return kExitNoAnswer;
    if (!result && report.mismatches && mismatches > 0)
        return kExitVerifyMismatch;
    // Content found: its own status, not a USB failure.
    if (!result && request.command == "blank" && state.flags().notBlank.load())
        return kExitVerifyMismatch;
    if (!result)
        return failedJobStatus(state.link());
    return 0;
}

}  // namespace

int runJob(const std::string& programFolder, const JobRequest& request, const UsbApi& usb,
           Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    JobReport report;
    report.job = request.command;
    const JobEntry* entry = entryOf(request.command);
    report.exit =
        entry ? runJobReporting(programFolder, request, *entry, usb, clock, out, err, stop, report)
              : kExitUsage;
    if (request.json)
        printJobReport(out, report);
    return report.exit;
}

}  // namespace nyra::cli
