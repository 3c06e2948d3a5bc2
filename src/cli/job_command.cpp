#include "job_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
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

bool isJobCommand(const std::string& command) {
    return entryOf(command) != nullptr;
}

bool jobNeedsFile(const std::string& command) {
    const JobEntry* entry = entryOf(command);
    return entry && entry->needsFile;
}

int runJob(const std::string& programFolder, const JobRequest& request, const UsbApi& usb,
           Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    const JobEntry* entry = entryOf(request.command);
    if (!entry)
        return kExitUsage;
    ConsoleFrontend console(err);
    // Without --yes a question ends the job rather than guess: No to a file
    // longer than the chip, Cancel at the first mismatch.
    console.setAnswers(request.yes ? BoxAnswer::Yes : BoxAnswer::No,
                       request.yes ? BoxAnswer::No : BoxAnswer::Cancel);
    ConsoleProgram program(programFolder, usb, clock, console);
    AppState& state = program.state();

    // The switch is the user's: a named chip turns it off for this run only.
    const bool autoIdentify = state.autoIdentifyOn();
    const auto finish = [&](int status) {
        if (autoIdentify != state.autoIdentifyOn())
            state.command(ids::kCmdAutoIdentify);
        return status;
    };
    if (request.chip) {
        if (autoIdentify)
            state.command(ids::kCmdAutoIdentify);
        if (!selectChip(state, *request.chip)) {
            err << "no chip " << *request.chip << " in the catalogue\n";
            return finish(kExitUsage);
        }
    } else {
        // Identified first, so no job runs on a chip the program only guessed.
        state.identified().store({});
        state.startJob(job::kFullIdentify);
        state.worker().waitUntilIdle();
        const IdentifyOutcome found = state.identified().last();
        if (found.result != kIdentifyMatched) {
            const int status = detectExitStatus(found);
            if (status == kExitNoProgrammer)
                return finish(status);
            err << "the chip could not be identified: name it with --chip\n";
            return finish(kExitNotIdentified);
        }
    }
    const std::string device = state.selection().selectedDevice();
    const std::uint32_t chipSize = state.selection().chipSize();

    if (entry->needsFile && request.command != "read" &&
        !state.fileLoader().loadFile(request.file, true))
        return finish(kExitJobFailed);

    std::uint8_t result = 0;
    // A named chip turns identification off: the socket is still asked what it
    // holds, so that an empty socket is never read, checked or written as a chip.
    std::optional<SocketFit> socket;
    state.worker().registerJob(entry->code, [&] {
        if (request.chip) {
            socket = checkNamedChip(state.jobContext());
            if (*socket != SocketFit::Fits)
                return result = 0;
        }
        result = entry->run(state.jobContext());
        return result;
    });
    const auto started = std::chrono::steady_clock::now();
    {
        // The JSON object is all a script reads on out.
        std::optional<ProgressEcho> progress;
        if (!request.json)
            progress.emplace(state.panel(), ids::kProgressBar, out, request.terminal, chipSize);
        StopRelay relay(state.flags(), stop);
        state.startJob(entry->code);
        state.worker().waitUntilIdle();
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::uint64_t bytes = chipSize;
    if (request.command == "read" && result) {
        std::error_code error;
        std::filesystem::copy_file(programFolder + "/u_mod0.dll", request.file,
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error) {
            err << request.file << ": " << error.message() << '\n';
            result = 0;
        }
        bytes = std::filesystem::file_size(programFolder + "/u_mod0.dll", error);
    } else if (request.command == "program") {
        bytes = state.dataBuffer().dataLength();
    }
    const std::uint32_t mismatches = state.flags().verifyMismatches.load();
    const bool verified = request.command == "verify" || request.command == "auto";

    int status = 0;
    if (socket == SocketFit::NoProgrammer)
        status = kExitNoProgrammer;
    else if (socket == SocketFit::NoChip)
        status = kExitNoAnswer;
    else if (stop.load())
        status = kExitStopped;
    else if (!result && verified && mismatches > 0)
        status = kExitVerifyMismatch;
    else if (!result)
        status = state.link().connected() ? kExitJobFailed : kExitNoProgrammer;

    if (request.json) {
        out << "{\"job\":" << jsonString(request.command) << ",\"chip\":" << jsonString(device)
            << ",\"bytes\":" << bytes << ",\"elapsed\":" << elapsed
            << ",\"data_checksum\":" << jsonString(state.dataBuffer().dataChecksumText())
            << ",\"chip_checksum\":" << jsonString(state.dataBuffer().chipChecksumText());
        if (verified)
            out << ",\"mismatches\":" << mismatches;
        out << ",\"status\":" << jsonString(state.panel().text(ids::kStatusLine))
            << ",\"result\":" << jsonString(status == 0 ? "ok" : "failed") << ",\"exit\":" << status
            << "}\n"
            << std::flush;
    }
    return finish(status);
}

}  // namespace nyra::cli
