// SPDX-License-Identifier: GPL-3.0-or-later
#include "otp_command.h"

#include <mutex>
#include <vector>

#include "app/file_access.h"
#include "console_frontend.h"
#include "console_program.h"
#include "detect_command.h"
#include "job_command.h"
#include "shell/app_state.h"
#include "status_echo.h"

namespace nyra::cli {

namespace {

std::string lines(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.replace(at, 2, "\n");
    return text;
}

// The OTP log on a terminal; the lock box is the command line's choice.
class TerminalOtpPort final : public OtpPort {
public:
    TerminalOtpPort(std::ostream& out, std::string file, bool lock)
        : out_(out), file_(std::move(file)), lock_(lock) {}

    void setLog(const std::string& text) override {
        std::lock_guard guard(mutex_);
        // "NULL" only blanks the window's log before a detection.
        if (text == "NULL")
            return;
        if (started_)
            out_ << '\n';
        out_ << lines(text) << std::flush;
        started_ = true;
    }
    void appendLog(const std::string& text) override {
        std::lock_guard guard(mutex_);
        out_ << lines(text) << std::flush;
        started_ = true;
    }
    void setLockBox(bool enabled, std::optional<bool>) override { lockEnabled_ = enabled; }
    void enableProgram(bool) override {}
    void enableReadVerifyBlank(bool) override {}
    void enableSave(bool) override {}
    std::string filePath() const override { return file_; }
    bool lockTicked() const override { return lock_ && lockEnabled_; }
    void finish() {
        std::lock_guard guard(mutex_);
        if (started_)
            out_ << '\n' << std::flush;
    }

private:
    std::ostream& out_;
    std::string file_;
    bool lock_;
    bool lockEnabled_ = false;
    bool started_ = false;
    std::mutex mutex_;
};

}  // namespace

bool parseOtpArguments(const std::vector<std::string>& words, OtpRequest& request,
                       std::string& error) {
    bool confirmed = false;
    std::vector<std::string> operands;
    for (const std::string& word : words) {
        if (word == "--lock") {
            request.lock = true;
        } else if (word == "--yes-lock-forever") {
            confirmed = true;
        } else if (word.starts_with("--")) {
            error = "unknown option " + word;
            return false;
        } else {
            operands.push_back(word);
        }
    }
    if (operands.empty()) {
        error = "an action is needed: detect, read FILE, program FILE, verify FILE or blank";
        return false;
    }
    request.action = operands[0];
    const bool takesFile =
        request.action == "read" || request.action == "program" || request.action == "verify";
    const bool known = takesFile || request.action == "detect" || request.action == "blank";
    if (!known) {
        error = "unknown OTP action " + request.action;
        return false;
    }
    if (operands.size() != (takesFile ? 2u : 1u)) {
        error = takesFile ? "otp " + request.action + " needs one FILE"
                          : "otp " + request.action + " takes no file";
        return false;
    }
    if (takesFile)
        request.file = operands[1];
    if (request.lock && request.action != "program") {
        error = "--lock goes with otp program only";
        return false;
    }
    if (request.lock && !confirmed) {
        error = "locking is for ever: add --yes-lock-forever to --lock";
        return false;
    }
    return true;
}

int runOtp(const std::string& programFolder, const OtpRequest& request, const UsbApi& usb,
           Clock& clock, std::ostream& out, std::ostream& err) {
    ConsoleFrontend console(err);
    // Program's question (the area is not blank) is answered No: nothing is
    // written over data the user did not look at.
    console.setAnswers(BoxAnswer::No, BoxAnswer::Cancel);
    ConsoleProgram program(programFolder, usb, clock, console);
    AppState& state = program.state();

    TerminalOtpPort port(out, request.action == "read" ? std::string() : request.file,
                         request.lock);
    OtpState otp;
    using OtpRun = std::uint8_t (*)(OtpJobContext&);
    struct Action {
        const char* name;
        std::uint8_t offset;  // from the first OTP job: the window's button
        OtpRun run;
    };
    const Action actions[] = {{"detect", 0,
                               [](OtpJobContext& c) -> std::uint8_t {
                                   const int found = detectOtp(c, true);
                                   return found == kOtpReady || found == kOtpLocked ? 1 : 0;
                               }},
                              {"program", 1, programOtp},
                              {"read", 2, readOtp},
                              {"verify", 4, verifyOtp},
                              {"blank", 5, blankCheckOtp}};
    std::uint8_t result = 0;
    for (const Action& action : actions) {
        if (request.action != action.name)
            continue;
        const auto code = static_cast<std::uint8_t>(job::kOtpFirst + action.offset);
        state.worker().registerJob(code, [&, run = action.run] {
            OtpJobContext context{state.jobContext(), port, otp};
            result = run(context);
            return result;
        });
        state.startJob(code);
        state.worker().waitUntilIdle();
    }
    port.finish();

    int status = result ? 0 : kExitJobFailed;
    if (status == 0 && request.action == "read") {
        // Whole or not at all: an existing file survives a failed write.
        if (const int error = writeWholeFile(request.file, otp.data.data(), otp.dataLength)) {
            err << request.file << ": " << fileErrorText(error) << '\n';
            status = kExitJobFailed;
        }
    }
    if (status != 0)
        status = failedJobStatus(state.link());
    return status;
}

}  // namespace nyra::cli
