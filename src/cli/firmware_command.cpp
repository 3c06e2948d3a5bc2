// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware_command.h"

#include <filesystem>
#include <fstream>

#include "console_frontend.h"
#include "console_program.h"
#include "detect_command.h"
#include "job_command.h"
#include "progress_echo.h"
#include "shell/app_state.h"
#include "status_echo.h"

namespace nyra::cli {

namespace {

// The program state of the window with the firmware jobs, for one job.
class FirmwareRun {
public:
    FirmwareRun(const std::string& programFolder, const UsbApi& usb, Clock& clock,
                ConsoleFrontend& console)
        : program_(programFolder, usb, clock, console) {}

    AppState& state() { return program_.state(); }

    int run(std::uint8_t code) {
        AppState& state = program_.state();
        std::uint8_t result = 0;
        state.worker().registerJob(code, [&] {
            result = code == job::kFirmwareVersion
                         ? showFirmwareVersion(state.jobContext())
                         : upgradeFirmware(state.jobContext(), state.upgradeWindow());
            return result;
        });
        state.startJob(code);
        state.worker().waitUntilIdle();
        if (result)
            return 0;
        return failedJobStatus(state.link());
    }

private:
    ConsoleProgram program_;
};

// Prints the upgrade bar's texts that carry no percent: what each phase ends with.
class PhaseTextEcho {
public:
    PhaseTextEcho(Panel& panel, ConsoleFrontend& console) : panel_(panel) {
        token_ = panel_.subscribe([this, &console](const PanelChange& change) {
            if (change.id != ids::kUpgradeProgress || change.property != PanelProperty::Text)
                return;
            const std::string label = panel_.text(ids::kUpgradeProgress);
            if (!label.empty() && ProgressEcho::percentOf(label) < 0)
                console.print(label);
        });
    }
    ~PhaseTextEcho() { panel_.unsubscribe(token_); }
    PhaseTextEcho(const PhaseTextEcho&) = delete;
    PhaseTextEcho& operator=(const PhaseTextEcho&) = delete;

private:
    Panel& panel_;
    Panel::Token token_ = 0;
};

}  // namespace

int firmwareInfo(const std::string& programFolder, const UsbApi& usb, Clock& clock,
                 std::ostream& out, std::ostream& err) {
    ConsoleFrontend console(err);
    console.sendInformationTo(out);
    FirmwareRun run(programFolder, usb, clock, console);
    return run.run(job::kFirmwareVersion);
}

int upgrade(const std::string& programFolder, const std::string& file, const UsbApi& usb,
            Clock& clock, bool terminal, std::ostream& out, std::ostream& err) {
    std::error_code error;
    const std::string path = std::filesystem::absolute(file, error).string();
    const auto bytes = std::filesystem::file_size(path, error);
    ConsoleFrontend console(err);
    FirmwareRun run(programFolder, usb, clock, console);
    UpgradeWindow& window = run.state().upgradeWindow();
    window.open();
    window.choose(path);
    PhaseTextEcho phases(window.panel(), console);
    ProgressEcho progress(window.panel(), ids::kUpgradeProgress, out, terminal, error ? 0 : bytes);
    return run.run(job::kFirmwareUpgrade);
}

}  // namespace nyra::cli
