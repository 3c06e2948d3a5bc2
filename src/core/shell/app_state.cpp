// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/file_access.h"
#include "app/program_folder.h"
#include "app/text_language.h"
#include "ops/chip_jobs.h"
#include "ops/identify.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"
#include "ops/update_check_job.h"
#include "ui/frontend.h"
#include "ui/main_panel.h"
#include "ui/panel_menu_state.h"

namespace nyra {

using namespace ids;

namespace {

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

BoxIcon boxIconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return BoxIcon::Information;
        case MessageIcon::Warning:
            return BoxIcon::Warning;
        case MessageIcon::Error:
            return BoxIcon::Error;
        case MessageIcon::None:
            break;
    }
    return BoxIcon::None;
}

// A FIFO or a device in its place is not a file that can be opened.
bool fileCanBeOpened(const std::string& path) {
    struct stat info {};
    const int fd = openRegularFile(path, info);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

}  // namespace

// The selection logic's view of the main window: lists, capacity text,
// pictures and the QE controls live in the Panel.
class AppState::SelectionPanel final : public SelectionWindow {
public:
    SelectionPanel(Panel& panel, const ChipSelection& selection, DataBuffer& data)
        : panel_(panel), selection_(selection), data_(data) {}
    void setHexView(HexViewModel* view) { view_ = view; }

    void listChanged(SelectionList which) override {
        const auto [id, list] = listOf(which);
        panel_.setItems(id, list.items);
        panel_.setCurrentIndex(id, list.current);
    }
    void setCapacityText(const std::string& text) override { panel_.setText(kTextCapacity, text); }
    // The window draws the picture the text names.
    void setPinoutPicture(PinoutPicture picture) override {
        panel_.setText(kPicPinout, std::to_string(static_cast<int>(picture)));
    }
    void updateRows() override { data_.updateRows(selection_.chipSize()); }
    void updateChipChecksum() override {
        data_.updateChipChecksum(selection_.chipSize());
        panel_.setText(kTextChipChecksum, data_.chipChecksumText());
    }
    void setScrollRange() override {
        if (view_)
            view_->setScrollRange();
    }
    void refreshView() override {
        if (view_)
            view_->refreshView();
    }
    void setQeCheckBoxVisible(bool visible) override {
        panel_.setVisible(kCheckQuadEnable, visible);
    }
    void setQeButtonVisible(bool visible) override { panel_.setVisible(kBtnConfigure, visible); }

private:
    std::pair<int, ListModel> listOf(SelectionList which) const {
        switch (which) {
            case SelectionList::Type:
                return {kListChipType, selection_.typeList()};
            case SelectionList::Manufacturer:
                return {kListManufacturer, selection_.manufacturerList()};
            case SelectionList::Device:
                break;
        }
        return {kListDevice, selection_.deviceList()};
    }

    Panel& panel_;
    const ChipSelection& selection_;
    DataBuffer& data_;
    HexViewModel* view_ = nullptr;
};

// The loader's view of the main window: status, log, the shared loaded-file
// state and the selected chip.
class AppState::LoadPanel final : public LoadWindow {
public:
    explicit LoadPanel(AppState& state) : state_(state) {}

    void showStatus(const std::string& text, bool alert) override {
        state_.showStatus(text, alert ? StatusKind::Alert : StatusKind::Normal, false);
    }
    void logDataFile(const std::string& path, std::uint64_t bytes) override {
        state_.operationLog_.dataFile(path, bytes);
    }
    void setLoadedFile(const std::string& path, std::uint64_t bytes) override {
        state_.loadedFile_.set(path, bytes);
        state_.flags_.fileLoaded.store(true);
    }
    void clearLoadedFile() override {
        state_.flags_.fileLoaded.store(false);
        state_.loadedFile_.clear();
    }
    std::uint32_t chipSize() const override { return state_.selection_.chipSize(); }
    std::string deviceName() const override { return state_.selection_.selectedDevice(); }
    bool programStreaming() const override { return state_.flags_.programRunning.load(); }

private:
    AppState& state_;
};

AppState::AppState(Frontend& frontend, Clock& clock, const UsbApi& usb)
    : frontend_(frontend),
      clock_(clock),
      operationLog_(log_, clock_),
      status_(panel_, operationLog_, frontend_),
      progress_(panel_),
      texts_([this](const std::string& message) {
          frontend_.messageBox(message, "", BoxIcon::Warning, BoxButtons::Ok);
      }),
      selection_(catalogue_),
      selectionPanel_(std::make_unique<SelectionPanel>(panel_, selection_, data_)),
      loadPanel_(std::make_unique<LoadPanel>(*this)),
      hexView_(std::make_unique<HexViewModel>(
          data_, [this] { return selection_.chipSize(); }, panel_, status_, frontend_, texts_,
          flags_)),
      fileLoader_(std::make_unique<FileLoader>(data_, panel_, frontend_, texts_, *loadPanel_)),
      fileSaver_(std::make_unique<FileSaver>(*fileLoader_, data_, panel_, frontend_, texts_,
                                             *loadPanel_, clock_)),
      link_(usb, *this),
      channel_(link_,
               [this](const std::function<void(CommandFrame&)>& change) {
                   selection_.modifyParameterBlock(
                       [&](ChipParameterBlock& block) { change(block.bytes); });
               }),
      seat_(usb, link_),
      worker_(std::make_unique<Worker>(workerShared_, channel_)),
      menuChecks_(std::make_unique<PanelMenuState>(panel_)),
      jobContext_{LinkRole{channel_, workerShared_},
                  ReportRole{status_, operationLog_, progress_, texts_, frontend_},
                  DataRole{loadedFile_, data_, {}, {}},
                  ChipRole{selection_, catalogue_, identified_},
                  ControlRole{panel_, flags_, {}, {}, {}, false},
                  ClockRole{clock_}},
      upgradeWindow_(frontend_, texts_, flags_),
      findWindow_(
          workerShared_, [this] { startJob(job::kFind); }, search_, frontend_, texts_, clock_),
      fileFillWindow_(data_, *hexView_, status_, frontend_, texts_),
      dataViewWindow_([this] { startJob(job::kDataView); }, frontend_, texts_),
      chipFillWindow_([this] { startJob(job::kChipFill); }, frontend_, texts_),
      otpWindow_([this](int message) { windowMessage(message); }, frontend_, texts_),
      feedbackForm_(frontend_, texts_, netDeployment_) {}

AppState::~AppState() {
    shutdown();
}

void AppState::startUp(const std::string& programFolder, const std::string& workingFolder) {
    programFolder_ = withSlash(programFolder);
    const std::string working = workingFolder.empty() ? programFolder_ : withSlash(workingFolder);
    imagePath0_ = working + "u_mod0.dll";
    imagePath1_ = working + "u_mod1.dll";
    tempFolder_ = working + "temp";

    texts_.loadFrom(programFolder_);
    frontend_.useLanguage(textLanguage(texts_));
    buildMainPanel(panel_, [this](TextKey key) { return text(key); });
    panel_.setText(kEditFileName, text(itext(0)));
    selection_.modifyParameterBlock([](ChipParameterBlock& block) { block.bytes.fill(0); });
    selection_.setWindow(selectionPanel_.get());
    selectionPanel_->setHexView(hexView_.get());
    LoadHooks& hooks = fileLoader_->hooks();
    hooks.clearFocus = [this](bool userFile) { hexView_->resetForLoad(userFile); };
    hooks.rowsChanged = [this] { hexView_->setScrollRange(); };
    hooks.refreshView = [this] { hexView_->refreshView(); };
    hooks.commitEdit = [this] { hexView_->commitEdit(); };
    // The size the jobs log for the loaded file follows an edit past its end.
    hexView_->setDataGrownListener([this] {
        if (auto file = loadedFile_.get())
            loadedFile_.set(file->path, data_.dataLength());
    });
    hooks.addressOffset = [this](const std::string& path, std::uint32_t offset) {
        openAddressOffset(path, offset);
    };
    selection_.setMessageSink(messageSink());
    selection_.setLogSink([this](const std::string& line) { logLine(line); });
    // The hex view is set up here once it exists.

    jobContext_.finishSoundPath = programFolder_ + "sound/finishsound.wav";
    jobContext_.deleteSoundPath = programFolder_ + "sound/del.wav";
    jobContext_.readImagePath = imagePath0_;
    jobContext_.loadData = [this](const std::string& path, const std::string& shownAs) {
        return fileLoader_->loadFile(path, false, shownAs);
    };
    jobContext_.leaveEditMode = [this] {
        if (hexView_->editMode())
            hexView_->toggleEditMode(false);
    };
    panel_.setVisible(kProgressBar, false);

    logFilePath_ = programFolder_ + "log.txt";
    const int logFd = openRegularForAppend(logFilePath_, true);
    if (logFd >= 0)
        ::close(logFd);
    operationLog_.setFilePath(logFilePath_);
    fileLoader_->setFiles(
        {imagePath0_, imagePath1_, logFilePath_, tempFolder_ + "/" + kOffsetCopyName});
    // The program still runs without data; each load then fails with its own message.
    if (!programFolderWritable(programFolder_))
        showStatus(folderNotWritableText(programFolder_, textLanguage(texts_)), StatusKind::Alert,
                   false);

    switches_ = std::make_unique<Switches>(programFolder_, *menuChecks_);
    switches_->readAtStartup();

    link_.resetIdentity();
    selection_.modifyParameterBlock([](ChipParameterBlock& block) {
        block.bytes[0] = kFrameStart;
        block.bytes[kCommandFrameSize - 1] = kFrameEnd;
    });

    loadCatalogue();

    registerJobs();
    // The programmer is chosen before the first job talks to one.
    takeProgrammerSeat();
    workerShared_.jobCode.store(job::kQuietIdentify);
    worker_->start();
    workerStarted_ = true;
    // The batch window, hidden, right after the worker.
    batchWindow_ = std::make_unique<BatchWindow>(
        [this](std::uint32_t parameter) { windowMessage(kMsgBatchRunRequest, parameter); },
        [this](std::optional<std::uint32_t> count) {
            panel_.setText(kBtnBatch, count ? "停止批量 " + std::to_string(*count) + " (F2)"
                                            : text(ftext(60)));
        },
        frontend_, texts_, clock_);
    batchWindow_->create();
    windowSeries_ =
        std::make_unique<WindowSeries>(*batchWindow_, frontend_, texts_, clock_, programFolder_);
    windowSeries_->chipName = [this] { return selection_.selectedDevice(); };
    windowSeries_->dataChecksum = [this] { return data_.dataChecksumText(); };
    // Each window on a host is a station of its own, named by its programmer.
    windowSeries_->programmer = [this] { return seat_.drivenSerial(); };
    panel_.addMenuItem(kCmdSerialSeries, seriesDialogTexts(texts_).menu);
    // A chip not yet known may be the catalogue's largest.
    batchWindow_->chipCapacity = [this]() -> std::uint64_t {
        const std::uint32_t selected = selection_.chipSize();
        return selected ? selected : catalogue_.largestChipSize();
    };
    setBatchPort(batchWindow_.get());

    panel_.setText(kEditFileName, text(itext(0)));
    panel_.greyMenuCommand(kCmdCheckUpdate);
    panel_.greyMenuCommand(kCmdFeedback);
}

MessageSink AppState::messageSink() {
    return [this](const std::string& message, const std::string& caption, MessageIcon icon) {
        frontend_.messageBox(message, caption, boxIconOf(icon), BoxButtons::Ok);
    };
}

void AppState::loadCatalogue() {
    const std::string path = programFolder_ + "database.dat";
    if (!fileCanBeOpened(path)) {
        frontend_.messageBox(text(itext(1)), text(itext(2)), BoxIcon::Warning, BoxButtons::Ok);
        return;
    }
    catalogue_.setMessageSink(messageSink());
    catalogue_.setLogSink([this](const std::string& line) { logLine(line); });
    catalogue_.load(path);
    selection_.startUp();
}

// The selection tells the lists what changed.
void AppState::listSelectionChanged(int listId, int index) {
    if (listId == kListChipType)
        selection_.typeChanged(index);
    if (listId == kListManufacturer)
        selection_.manufacturerChanged(index);
    if (listId == kListDevice)
        selection_.deviceChanged(index);
}

void AppState::registerJobs() {
    worker_->registerJob(job::kQuietIdentify, [this] { return quietIdentifyJob(jobContext_); });
    worker_->registerJob(job::kFullIdentify, [this] { return fullIdentifyJob(jobContext_); });
    worker_->registerJob(job::kRead, [this] { return readChip(jobContext_); });
    worker_->registerJob(job::kProgram, [this] { return programChip(jobContext_, true); });
    worker_->registerJob(job::kErase, [this] { return eraseChip(jobContext_, true); });
    worker_->registerJob(job::kBlankCheck, [this] { return blankCheckChip(jobContext_); });
    worker_->registerJob(job::kVerify, [this] { return verifyChip(jobContext_, true); });
    worker_->registerJob(job::kAuto, [this] { return automaticSequence(jobContext_); });
    worker_->registerJob(job::kQuadEnable, [this] { return configureQuadEnable(jobContext_); });
    worker_->registerJob(job::kFirmwareVersion,
                         [this] { return showFirmwareVersion(jobContext_); });
    worker_->registerJob(job::kFind,
                         [this] { return findInData(jobContext_, *hexView_, search_); });
    worker_->registerJob(job::kBatchCycle, [this]() -> std::uint8_t {
        BatchPort* port = batchPort_.load();
        return port ? runBatchCycle(jobContext_, *port, batchRunParameter.load()) : 0;
    });
    worker_->registerJob(job::kUpdateCheck,
                         [this] { return checkForUpdate(jobContext_, netDeployment_); });
    worker_->registerJob(job::kDataView,
                         [this] { return viewData(jobContext_, dataViewWindow_, *hexView_); });
    worker_->registerJob(job::kChipFill, [this] {
        return fillChip(jobContext_, chipFillWindow_, programFolder_ + "del.f");
    });
    worker_->registerJob(job::kFirmwareUpgrade,
                         [this] { return upgradeFirmware(jobContext_, upgradeWindow_); });
    using OtpRun = std::uint8_t (*)(OtpJobContext&);
    const OtpRun otpJobs[] = {[](OtpJobContext& c) -> std::uint8_t {
                                  const int found = detectOtp(c, true);
                                  return found == kOtpReady || found == kOtpLocked ? 1 : 0;
                              },
                              programOtp,
                              readOtp,
                              saveOtp,
                              verifyOtp,
                              blankCheckOtp};
    for (std::uint8_t i = 0; i < 6; ++i) {
        worker_->registerJob(static_cast<std::uint8_t>(job::kOtpFirst + i),
                             [this, run = otpJobs[i]]() -> std::uint8_t {
                                 if (!otpWindow_.isOpen())
                                     return 0;
                                 OtpJobContext context{jobContext_, otpWindow_, otpState_};
                                 return run(context);
                             });
    }
}

std::unique_ptr<GoToWindow> AppState::newGoToWindow() {
    auto window = std::make_unique<GoToWindow>(*hexView_, frontend_, texts_);
    window->open();
    return window;
}

void AppState::startJob(std::uint8_t code) {
    worker_->startJob(code);
}

void AppState::shutdown() {
    if (!workerStarted_)
        return;
    // A cycle waiting for the next chip ends once the series has stopped.
    if (batchWindow_)
        batchWindow_->stop();
    worker_->requestQuit();
    worker_->join();
    workerStarted_ = false;
}

void AppState::showStatus(const std::string& statusText, StatusKind kind, bool beep) {
    status_.show(statusText, kind, beep);
}

void AppState::logLine(const std::string& line) {
    operationLog_.line(line);
}

void AppState::statusAlert(TextKey key) {
    // A programmer restarting after its upgrade is away, not lost: said once.
    if (key == itext(34) && flags_.restartingAt(clock_.nowMs())) {
        const std::string restarting = programmerRestartingText(texts_);
        if (panel_.text(kStatusLine) != restarting)
            showStatus(restarting, StatusKind::Normal, false);
        return;
    }
    showStatus(text(key), StatusKind::Alert, false);
}

void AppState::warningBox(TextKey key) {
    frontend_.messageBox(text(key), text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
}

}  // namespace nyra
