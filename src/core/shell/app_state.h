// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "app/switches.h"
#include "app/text_table.h"
#include "batch/batch_window.h"
#include "batch/window_series.h"
#include "buffer/data_buffer.h"
#include "buffer/file_loader.h"
#include "buffer/file_saver.h"
#include "buffer/hex_view_model.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_selection.h"
#include "device/command_channel.h"
#include "device/link.h"
#include "device/usb_api.h"
#include "device/worker.h"
#include "net/deployment.h"
#include "net/feedback_form.h"
#include "ops/batch_cycle_job.h"
#include "ops/chip_fill_job.h"
#include "ops/data_view_job.h"
#include "ops/find_job.h"
#include "ops/firmware_jobs.h"
#include "ops/identify_record.h"
#include "ops/job_context.h"
#include "ops/otp_jobs.h"
#include "otp/otp_window.h"
#include "shell/programmer_seat.h"
#include "tools/address_offset.h"
#include "tools/file_fill.h"
#include "tools/file_merge.h"
#include "tools/file_split.h"
#include "tools/go_to.h"
#include "ui/ids.h"
#include "ui/job_flags.h"
#include "ui/log_model.h"
#include "ui/operation_log.h"
#include "ui/panel.h"
#include "ui/progress.h"
#include "ui/status_line.h"

namespace nyra {

class Frontend;

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
    // workingFolder holds the data files (u_mod0.dll, u_mod1.dll, temp); the
    // program folder's own when empty. kvq-cli gives each run its own.
    void startUp(const std::string& programFolder, const std::string& workingFolder = {});

    // What the window forwards (window_input.cpp).
    // A button or menu command by id (the command table).
    void command(int id);
    // A key before normal dialog handling; true when consumed. Escape and
    // Enter are always consumed.
    bool keyPressed(ids::Key key, bool ctrlHeld);
    bool escapeOrEnterPressed(bool enter);
    // Window messages: device change, batch run request, OTP messages, and
    // files dropped onto the hex grid (the word parameter is the address of
    // the window's std::vector<std::string> of paths, valid during the call).
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
    StatusKind statusKind() const { return status_.kind(); }
    const std::string& programFolder() const { return programFolder_; }

    // Shared state.
    WorkerShared& workerShared() { return workerShared_; }
    Link& link() { return link_; }
    // Which programmer the window drives when several are connected.
    ProgrammerSeat& programmerSeat() { return seat_; }
    CommandChannel& channel() { return channel_; }
    Worker& worker() { return *worker_; }
    Switches& switches() { return *switches_; }
    ChipCatalogue& catalogue() { return catalogue_; }
    ChipSelection& selection() { return selection_; }
    Frontend& frontend() { return frontend_; }
    Clock& clock() { return clock_; }
    JobFlags& flags() { return flags_; }
    DataBuffer& dataBuffer() { return data_; }
    LoadedFile& loadedFile() { return loadedFile_; }
    Progress& progress() { return progress_; }
    OperationLog& operationLog() { return operationLog_; }
    // Loading the data file; the hex view and the tools set its hooks.
    FileLoader& fileLoader() { return *fileLoader_; }
    // The hex view; the window draws its snapshots and forwards input to it.
    HexViewModel& hexView() { return *hexView_; }
    // What the last identification found.
    IdentifyRecord& identified() { return identified_; }
    // What the chip jobs may use of the main window.
    JobContext& jobContext() { return jobContext_; }

    bool soundSwitchOn() const { return panel_.menuChecked(kCmdSounds); }
    bool autoIdentifyOn() const { return panel_.menuChecked(kCmdAutoIdentify); }
    // Sets one of the five switches for this run only: the check mark changes,
    // the user's switches file does not (kvq-cli's --chip and batch options).
    void setSwitchForRun(int commandId, bool on) { menuChecks_->setChecked(commandId, on); }

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
    // The serial-number store's dialog beside the batch window, modal.
    std::function<void(WindowSeries& series)> showSeriesDialog;
    WindowSeries& windowSeries() { return *windowSeries_; }
    // Exists from start-up on, hidden until shown.
    BatchWindow& batchWindow() { return *batchWindow_; }
    // The address-offset window, modal: returns when it has closed.
    std::function<void(AddressOffsetTool& tool)> showAddressOffset;
    // The file merge and split windows, modal: return when they have closed.
    std::function<void(FileMergeTool& tool)> showFileMerge;
    std::function<void(FileSplitTool& tool)> showFileSplit;
    // The firmware upgrade window, modal: returns when it has closed.
    std::function<void(UpgradeWindow& window)> showUpgradeWindow;
    UpgradeWindow& upgradeWindow() { return upgradeWindow_; }
    // The find window, modal: returns when it has closed.
    std::function<void(FindWindow& window)> showFindWindow;
    FindWindow& findWindow() { return findWindow_; }
    // The file fill and data view windows, modal: return when they have closed.
    std::function<void(FileFillWindow& window)> showFileFillWindow;
    FileFillWindow& fileFillWindow() { return fileFillWindow_; }
    std::function<void(DataViewWindow& window)> showDataViewWindow;
    DataViewWindow& dataViewWindow() { return dataViewWindow_; }
    // Go-to windows are modeless and independent: each one is the window's own.
    std::function<void(std::unique_ptr<GoToWindow> window)> showGoToWindow;
    std::unique_ptr<GoToWindow> newGoToWindow();
    // The chip fill window, modal: returns when it has closed.
    std::function<void(ChipFillWindow& window)> showChipFillWindow;
    ChipFillWindow& chipFillWindow() { return chipFillWindow_; }
    // The OTP window, modal: returns when it has closed. The OTP jobs write
    // into it while it is open.
    std::function<void(OtpWindow& window)> showOtpWindow;
    OtpWindow& otpWindow() { return otpWindow_; }
    const OtpState& otpState() const { return otpState_; }
    // The feedback form, modal: returns when it has closed (a mail may still
    // be on its way).
    std::function<void(FeedbackForm& form)> showFeedbackForm;
    FeedbackForm& feedbackForm() { return feedbackForm_; }
    // Where feedback and the update check go; set before either is used.
    void setNetDeployment(NetDeployment deployment) { netDeployment_ = std::move(deployment); }

    // LinkHost
    void statusAlert(TextKey text) override;
    void warningBox(TextKey text) override;
    void greyMenuCommand(int commandId) override { panel_.greyMenuCommand(commandId); }
    bool programmerBlocked() const override { return flags_.programmerBlocked.load(); }
    bool deviceChangePending() const override { return workerShared_.deviceChangeFlag.load(); }

    std::atomic<std::uint32_t> batchRunParameter{0};
    // The batch window the batch cycle answers; set once before any request.
    void setBatchPort(BatchPort* port) { batchPort_.store(port); }

    const std::string& imagePath0() const { return imagePath0_; }
    const std::string& imagePath1() const { return imagePath1_; }
    const std::string& tempFolder() const { return tempFolder_; }
    const std::string& logFilePath() const { return logFilePath_; }
    const std::string& finishSoundPath() const { return jobContext_.finishSoundPath; }
    const std::string& deleteSoundPath() const { return jobContext_.deleteSoundPath; }

private:
    class SelectionPanel;
    class LoadPanel;

    MessageSink messageSink();
    void loadCatalogue();
    void registerJobs();
    void startOrStop(int buttonId);
    void openThroughShell(const std::string& path);
    void openAddressOffset(const std::string& path, std::uint32_t offset);
    bool askToStop(TextKey question);
    void sendEndOfOperationFromWindow();
    void takeProgrammerSeat();
    void followProgrammer();
    void lockProgrammer();
    void programmerRefused(const std::string& why);
    void chooseProgrammer();
    void showProgrammerMenu();

    Frontend& frontend_;
    Clock& clock_;
    Panel panel_;
    LogModel log_;
    OperationLog operationLog_;
    StatusLine status_;
    Progress progress_;
    JobFlags flags_;
    DataBuffer data_;
    LoadedFile loadedFile_;
    IdentifyRecord identified_;
    TextTable texts_;
    std::string programFolder_;
    WorkerShared workerShared_;
    ChipCatalogue catalogue_;
    ChipSelection selection_;
    std::unique_ptr<SelectionPanel> selectionPanel_;
    std::unique_ptr<LoadPanel> loadPanel_;
    std::unique_ptr<HexViewModel> hexView_;
    std::unique_ptr<FileLoader> fileLoader_;
    std::unique_ptr<FileSaver> fileSaver_;
    Link link_;
    CommandChannel channel_;
    ProgrammerSeat seat_;
    std::unique_ptr<Worker> worker_;
    std::unique_ptr<MenuCheckState> menuChecks_;
    std::unique_ptr<Switches> switches_;
    bool workerStarted_ = false;
    std::string imagePath0_, imagePath1_, tempFolder_, logFilePath_;
    JobContext jobContext_;
    UpgradeWindow upgradeWindow_;
    SearchState search_;
    FindWindow findWindow_;
    FileFillWindow fileFillWindow_;
    DataViewWindow dataViewWindow_;
    ChipFillWindow chipFillWindow_;
    OtpWindow otpWindow_;
    OtpState otpState_;
    NetDeployment netDeployment_;
    FeedbackForm feedbackForm_;
    std::atomic<BatchPort*> batchPort_{nullptr};
    std::unique_ptr<BatchWindow> batchWindow_;
    std::unique_ptr<WindowSeries> windowSeries_;
};

}  // namespace nyra
