// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/clock.h"
#include "app/text_table.h"
#include "buffer/hex_view_model.h"
#include "device/worker.h"
#include "ops/job_context.h"
#include "ui/frontend.h"
#include "ui/panel.h"

namespace nyra {

// What the find window and job 24 share: the pattern the window writes and
// the job reads, and the last one searched, kept for the life of the program.
class SearchState {
public:
    void setPattern(std::string pattern) {
        std::lock_guard lock(mutex_);
        pattern_ = std::move(pattern);
    }
    std::string pattern() const {
        std::lock_guard lock(mutex_);
        return pattern_;
    }
    std::string lastPattern;  // window thread only

private:
    mutable std::mutex mutex_;
    std::string pattern_;
};

// The job code byte doubles as the signal between the window and a job
// waiting at a match.
namespace find_signal {
inline constexpr std::uint8_t kWaiting = 0;
inline constexpr std::uint8_t kGoOn = 1;
inline constexpr std::uint8_t kStop = 2;
}  // namespace find_signal

// The find window without its widgets.
class FindWindow {
public:
    FindWindow(WorkerShared& worker, std::function<void()> startFind, SearchState& search,
               Frontend& frontend, const TextTable& texts, Clock& clock);

    Panel& panel() { return panel_; }
    std::string title() const;

    // A new window: captions, hex mode, the action button's first caption.
    void open();
    void setText(std::string text) { panel_.setText(ids::kFindText, std::move(text)); }
    void setHexMode(bool hex);
    // The action button: the first search, or the next match.
    void search();
    // Closing: a job waiting at a match ends.
    void cancel();

private:
    WorkerShared& worker_;
    std::function<void()> startFind_;
    SearchState& search_;
    Frontend& frontend_;
    const TextTable& texts_;
    Clock& clock_;
    Panel panel_;
    bool searched_ = false;
};

// Job 24: finds the pattern in the data, showing each match and waiting there
// until the window says go on or stop.
std::uint8_t findInData(Roles<LinkRole, ReportRole, DataRole, ControlRole, ClockRole> context,
                        HexViewModel& view, const SearchState& search);

}  // namespace nyra
