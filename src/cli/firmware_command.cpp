// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware_command.h"

#include <filesystem>
#include <fstream>
#include <utility>

#include "console_frontend.h"
#include "console_program.h"
#include "detect_command.h"
#include "job_command.h"
#include "ops/firmware_jobs.h"
#include "progress_echo.h"
#include "shell/app_state.h"
#include "status_echo.h"
#include "ui/progress.h"

namespace nyra::cli {

namespace {

// The program state of the window with the firmware jobs, for one job.
class FirmwareRun {
public:
    FirmwareRun(const std::string& programFolder, const UsbApi& usb, Clock& clock,
                ConsoleFrontend& console)
        : program_(programFolder, usb, clock, console) {}

    // The upgrade with port, or the version when there is none.
    int run(std::uint8_t code, UpgradePort* port = nullptr) {
        AppState& state = program_.state();
        std::uint8_t result = 0;
        state.worker().registerJob(code, [&] {
            result = port ? upgradeFirmware(state.jobContext(), *port)
                          : showFirmwareVersion(state.jobContext());
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

// The upgrade's file and its bar, echoed on the terminal.
class ConsoleUpgrade final : public UpgradePort {
public:
    explicit ConsoleUpgrade(std::string path) : path_(std::move(path)) {}
    std::string path() const override { return path_; }
    void progress(int percent, const std::string& label) override {
        bar_.setPosition(percent, label);
    }
    Panel& panel() { return panel_; }

private:
    std::string path_;
    Panel panel_;
    Progress bar_{panel_, ids::kUpgradeProgress};
};

// Prints the upgrade bar's texts that carry no percent: what each phase ends with.
// The panel holds the bar alone.
class PhaseTextEcho {
public:
    PhaseTextEcho(Panel& panel, ConsoleFrontend& console) : panel_(panel) {
        token_ = panel_.subscribe([this, &console](const PanelChange& change) {
            if (change.property != PanelProperty::Text)
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
    ConsoleUpgrade upgrade(path);
    PhaseTextEcho phases(upgrade.panel(), console);
    ProgressEcho progress(upgrade.panel(), ids::kUpgradeProgress, out, terminal, error ? 0 : bytes);
    return run.run(job::kFirmwareUpgrade, &upgrade);
}

}  // namespace nyra::cli
