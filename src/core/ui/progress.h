// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ui/ids.h"
#include "ui/panel.h"

namespace nyra {

// The progress bar with its percent label. The label moves only when the
// whole percent grows, so a job's thousands of transfers cost a hundred
// repaints at most.
class Progress {
public:
    // The main window's bar, or the bar of another window by its control id.
    explicit Progress(Panel& panel, int control = ids::kProgressBar)
        : panel_(panel), control_(control) {}

    // Shows the bar at 0 with label + "0%".
    void begin(const std::string& label);
    void update(std::uint64_t done, std::uint64_t total);
    // Resets and hides the bar.
    void end();

    // The count of the last update since begin(): the bytes a job moved.
    std::uint64_t done() const { return done_.load(); }

    // The bar's position 0..100; the window reads it when the label changes.
    int position() const { return position_.load(); }
    void setPosition(int position, const std::string& label);

private:
    Panel& panel_;
    const int control_;
    std::atomic<int> position_{0};
    std::atomic<std::uint64_t> done_{0};
    std::string label_;
    int shown_ = 0;
};

}  // namespace nyra
