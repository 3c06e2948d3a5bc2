#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "app/switches.h"
#include "app/text_table.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_selection.h"
#include "device/command_channel.h"
#include "device/link.h"
#include "device/usb_api.h"
#include "device/worker.h"
#include "ui/ids.h"
#include "ui/log_model.h"
#include "ui/panel.h"

namespace nyra {

class Frontend;

// Status kinds of the status line.
enum class StatusKind : std::uint8_t { Normal = 0, Alert = 1 };

// The main window without its widgets: the state every part of the program
// shares, the command table, the start-up order and the close handler. The
// window renders the Panel and forwards buttons, menu commands, keys and
// window messages here.
class AppState : public LinkHost {
public:
    AppState(Frontend& frontend, Clock& clock, const UsbApi& usb);
    ~AppState() override;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Start-up steps 4..21 for the program folder (the current directory).
    void startUp(const std::string& programFolder);

    // A button or menu command by id (the command table).
    void command(int id);
    // A key before normal dialog handling; true when consumed. Escape and
    // Enter are always consumed.
    bool keyPressed(ids::Key key, bool ctrlHeld);
    bool escapeOrEnterPressed(bool enter);
    // Window messages: device change, batch run request, OTP messages.
    void windowMessage(int message, std::uintptr_t wordParameter = 0);
    // The close handler; false when the window stays open.
    bool closeRequested();
    // Ends the worker at process end (after either way of closing).
    void shutdown();

    Panel& panel() { return panel_; }
    // The log view's lines (the view control 1101 itself holds no text).
    LogModel& log() { return log_; }
    const TextTable& texts() const { return texts_; }
    const std::string& text(TextKey key) const { return texts_.text(key); }
    StatusKind statusKind() const { return statusKind_.load(); }
    const std::string& programFolder() const { return programFolder_; }

    // Shared state.
    WorkerShared& workerShared() { return workerShared_; }
    Link& link() { return link_; }
    CommandChannel& channel() { return channel_; }
    Worker& worker() { return *worker_; }
    Switches& switches() { return *switches_; }
    ChipCatalogue& catalogue() { return catalogue_; }
    ChipSelection& selection() { return selection_; }
    Frontend& frontend() { return frontend_; }
    Clock& clock() { return clock_; }

    bool soundSwitchOn() const { return panel_.menuChecked(kCmdSounds); }
    bool autoIdentifyOn() const { return panel_.menuChecked(kCmdAutoIdentify); }

    // Start job(code): store the code and resume the worker.
    void startJob(std::uint8_t code);
    // The status line: kind, text, log; the beep when asked.
    void showStatus(const std::string& text, StatusKind kind, bool beep);
    // One line in the log view and, with date and time, in log.txt.
    void logLine(const std::string& line);

    // The three chip lists' selection-changed notifications.
    void listSelectionChanged(int listId, int index);

    // Called by the window for things only it can show; the About dialog
    // gets its one line of text.
    std::function<void(const std::string& text)> showAboutDialog;
    std::function<void()> showBatchWindow;

    // LinkHost
    void statusAlert(TextKey text) override;
    void warningBox(TextKey text) override;
    void greyMenuCommand(int commandId) override { panel_.greyMenuCommand(commandId); }
    bool programmerBlocked() const override { return programmerBlocked_.load(); }
    bool deviceChangePending() const override { return workerShared_.deviceChangeFlag.load(); }

    // Job-running flags, stop requests and other shared flags.
    std::atomic<bool> programmerBlocked_{false};
    std::atomic<bool> closeRequestedFlag{false};
    std::atomic<bool> upgradeRunning{false};
    std::atomic<bool> fileLoaded{false};
    std::atomic<bool> eraseRunning{false}, programRunning{false}, verifyRunning{false},
        readRunning{false};
    std::atomic<bool> stopErase{false}, stopProgram{false}, stopVerify{false}, stopRead{false},
        stopBlankCheck{false};
    // The progress bar's position (0..100). Store it before the bar's label
    // (the Panel text of kProgressBar): the window reads it when the label changes.
    std::atomic<int> progressPosition{0};

    std::atomic<std::uint32_t> batchRunParameter{0};

    const std::string& imagePath0() const { return imagePath0_; }
    const std::string& imagePath1() const { return imagePath1_; }
    const std::string& tempFolder() const { return tempFolder_; }
    const std::string& logFilePath() const { return logFilePath_; }
    const std::string& finishSoundPath() const { return finishSoundPath_; }
    const std::string& deleteSoundPath() const { return deleteSoundPath_; }

private:
    class SelectionPanel;

    MessageSink messageSink();
    void loadCatalogue();
    void registerJobs();
    std::uint8_t quietIdentify();
    void startOrStop(int buttonId);
    void openThroughShell(const std::string& path);
    bool askToStop(TextKey question);
    void sendEndOfOperationFromWindow();
    static const ids::JobButton* jobButton(int buttonId);
    static std::uint8_t jobOfButton(int buttonId);
    std::atomic<bool>& stopRequestOf(int buttonId);

    Frontend& frontend_;
    Clock& clock_;
    Panel panel_;
    LogModel log_;
    TextTable texts_;
    std::string programFolder_;
    std::atomic<StatusKind> statusKind_{StatusKind::Normal};
    WorkerShared workerShared_;
    ChipCatalogue catalogue_;
    ChipSelection selection_;
    std::unique_ptr<SelectionPanel> selectionPanel_;
    Link link_;
    CommandChannel channel_;
    std::unique_ptr<Worker> worker_;
    std::unique_ptr<MenuCheckState> menuChecks_;
    std::unique_ptr<Switches> switches_;
    bool workerStarted_ = false;
    std::string imagePath0_, imagePath1_, tempFolder_, logFilePath_, finishSoundPath_,
        deleteSoundPath_;
};

}  // namespace nyra
