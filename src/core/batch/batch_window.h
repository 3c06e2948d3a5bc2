// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "app/text_table.h"
#include "ops/batch_cycle_job.h"
#include "ui/frontend.h"
#include "ui/panel.h"

namespace nyra {

namespace batch_ids {
inline constexpr int kMode = 1117;
inline constexpr int kDocuments = 1119;
inline constexpr int kAdd = 1120;
inline constexpr int kUp = 1121;
inline constexpr int kDown = 1122;
inline constexpr int kDelete = 1123;
inline constexpr int kAll = 1134;
inline constexpr int kNone = 1135;
inline constexpr int kFillAddress = 1099;
inline constexpr int kStartId = 1100;
inline constexpr int kIdLength = 1127;
inline constexpr int kIncrement = 1124;
inline constexpr int kFormat = 1126;
inline constexpr int kCount = 1098;
inline constexpr int kMainDocument = 1128;
inline constexpr int kChooseMain = 1129;
inline constexpr int kStart = 1130;
inline constexpr int kStop = 1132;
inline constexpr int kExit = 1133;
inline constexpr int kAutoStart = 1136;
inline constexpr const char* kTemplateTitle = "批量模式";
}  // namespace batch_ids

enum class BatchMode : std::uint8_t { SameFile = 0, FileList = 1, SerialId = 2, MainAndList = 3 };

// One chip of a running series, as the batch thread saw it end.
struct BatchChipResult {
    std::uint8_t code = 0;    // batch_result: kPassed, or what stopped the series
    std::uint32_t count = 0;  // the count/ID field for this chip (its ID in mode 2)
    // The user's document the chip was given: the main document (with the
    // chip's ID in mode 2) or the list entry (appended to the main one in mode 3).
    std::string file;
};

// The batch window without its widgets: prepares the file for each chip of
// a series and decides whether the series goes on. Its batch thread acts on
// the cycle's results in the order they came; the worker asks it for the
// current file and whether the series runs. Every call is thread-safe.
class BatchWindow : public BatchPort {
public:
    // requestRun posts the batch run request (job 33 with its parameter);
    // batchCaption sets the main window's batch button caption (nullopt:
    // back to the idle caption).
    BatchWindow(std::function<void(std::uint32_t)> requestRun,
                std::function<void(std::optional<std::uint32_t>)> batchCaption, Frontend& frontend,
                const TextTable& texts, Clock& clock);
    ~BatchWindow() override;
    BatchWindow(const BatchWindow&) = delete;
    BatchWindow& operator=(const BatchWindow&) = delete;

    Panel& panel() { return panel_; }
    std::string title() const;
    // Texts and start state, once the texts are loaded.
    void create();
    // Gives the keyboard to a control (a field at fault), its text selected or not.
    std::function<void(int id, bool selectAll)> focus;
    // Told of each chip of a running series on the batch thread; false ends
    // the series after this chip (a headless run with a chip count).
    std::function<bool(const BatchChipResult&)> chipDone;
    // Told, on the worker thread, as a chip's program step begins (code
    // kUnknown: its outcome is not known yet); false leaves the chip unwritten.
    std::function<bool(const BatchChipResult&)> chipStarting;
    // Mode 2 takes each chip's ID from here instead of counting (a series in
    // a serial-number store); nullopt stops the series before the next chip.
    std::function<std::optional<std::uint32_t>()> nextSerial;
    // The bytes a chip of the series can hold (0: not known), asked at the
    // start: no file is made and no chip erased for an image that cannot fit.
    std::function<std::uint64_t()> chipCapacity;

    void setMode(int mode);
    void addDocuments();
    void addDocuments(const std::vector<std::string>& paths);
    void deleteSelected();
    void selectAll(bool on);
    void toggleSelected(int index);
    std::vector<bool> selection() const;
    std::vector<std::string> documents() const;
    void move(bool up);
    void chooseMainDocument();
    void start();
    void stop();
    void exit();

    bool running() const;
    std::uint32_t count() const;

    // BatchPort
    std::string currentBatchFile() const override;
    std::string currentBatchDocument() const override;
    bool seriesRunning() const override { return running(); }
    bool chipWriting() override;
    void postResult(std::uint8_t code) override;

    // The last series stopped because its next ID did not fit its length.
    bool idsUsedUp() const { return idsUsedUp_.load(); }
    // The last series ended because the programmer left between two chips.
    bool programmerLost() const { return programmerLost_.load(); }

    // The batch thread has acted on every result posted so far (tests).
    void waitUntilQuiet();

private:
    struct Fields {
        std::uint32_t fillAddress = 0;
        std::uint32_t startId = 0;
        std::uint32_t increment = 1;
        std::uint32_t count = 0;
    };

    BatchMode mode() const;
    void applyEnableTable();
    void lockForRunning();
    void stopSeries();
    std::string newTemporaryFile(const std::string& base);
    void removeTemporaryFiles();
    bool readFields();
    void showFields();
    bool validate();
    bool imagesFit();
    int selectedIdLength() const;
    bool prepare();
    void advance();
    void publishDocuments();
    int firstSelected() const;
    void selectOnly(int index);
    bool mainDocumentExists() const;
    std::string chipDocument() const;
    void threadLoop();
    void handle(std::uint8_t code);
    bool report(std::uint8_t code);

    std::function<void(std::uint32_t)> requestRun_;
    std::function<void(std::optional<std::uint32_t>)> batchCaption_;
    Frontend& frontend_;
    const TextTable& texts_;
    Clock& clock_;
    Panel panel_;

    mutable std::recursive_mutex mutex_;  // the window's state
    Fields fields_;
    bool running_ = false;
    std::string currentFile_;
    // The copies a series made beside the user's documents, removed once it
    // has ended and no cycle can load them any more.
    std::vector<std::string> temporaryFiles_;
    std::vector<std::string> documents_;
    std::vector<bool> selected_;
    int idLength_ = 0;
    std::atomic<bool> idsUsedUp_{false};
    std::atomic<bool> programmerLost_{false};
    bool bigEndian_ = false;

    // The batch thread's results, in arrival order.
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::uint8_t> results_;
    std::uint64_t posted_ = 0;  // results posted, and acted on, so far
    std::uint64_t handled_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    std::uint8_t lastCode_ = batch_result::kCycleEnded;  // batch thread only
    std::thread thread_;
};

}  // namespace nyra
