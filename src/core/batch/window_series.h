// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/clock.h"
#include "app/text_table.h"
#include "batch/batch_window.h"
#include "batch/serial_feed.h"
#include "serials/serial_store.h"
#include "ui/frontend.h"

namespace nyra {

// Where the batch window's mode 2 takes its IDs: a series in a
// serial-number store, or (no series) its own count.
struct SeriesChoice {
    std::string url;      // empty: sqlite:serials.db in the program folder
    std::string series;   // empty: the window counts
    std::string station;  // empty: the host name and the programmer's serial
};

// The menu item and the texts of the small dialog beside the batch window.
struct SeriesDialogTexts {
    std::string menu, title, url, series, station, hint;
};
SeriesDialogTexts seriesDialogTexts(const TextTable& texts);

// The batch window's mode 2 fed by a series: each chip's ID reserved in the
// store before its file is made, each outcome told back, the reservation
// renewed while the window waits for a chip; the count field shows the ID
// the next chip gets.
class WindowSeries {
public:
    WindowSeries(BatchWindow& window, Frontend& frontend, const TextTable& texts, Clock& clock,
                 std::string programFolder);
    ~WindowSeries();
    WindowSeries(const WindowSeries&) = delete;
    WindowSeries& operator=(const WindowSeries&) = delete;

    // For each chip's line in the store; set by whoever composes the window.
    std::function<std::string()> chipName;
    std::function<std::string()> dataChecksum;
    std::function<std::string()> programmer;

    const SeriesChoice& choice() const { return choice_; }
    // Opens the store and the series now (a new one from the window's
    // fields, an existing one's settings into them); false, with the reason
    // in a box, when it cannot be used. An empty series: back to counting.
    bool choose(const SeriesChoice& choice);

private:
    void detach();
    void renewWhileOpen();

    BatchWindow& window_;
    Frontend& frontend_;
    const TextTable& texts_;
    Clock& clock_;
    const std::string programFolder_;
    SeriesChoice choice_;
    std::unique_ptr<SerialStore> store_;
    std::unique_ptr<SerialFeed> feed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread renewer_;
};

}  // namespace nyra
