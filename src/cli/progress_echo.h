// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "ui/panel.h"

namespace nyra::cli {

// The percent in a progress bar's label, drawn as a bar with the rate on a
// terminal, or one line per ten percent otherwise. A percent that falls
// starts the count again: the next phase of a job with several.
class ProgressEcho {
public:
    ProgressEcho(Panel& panel, int control, std::ostream& out, bool terminal, std::uint64_t total);
    ~ProgressEcho();
    ProgressEcho(const ProgressEcho&) = delete;
    ProgressEcho& operator=(const ProgressEcho&) = delete;

    // The percent a label ends with, or -1.
    static int percentOf(const std::string& label);

private:
    void show(const std::string& label);

    Panel& panel_;
    const int control_;
    std::ostream& out_;
    const bool terminal_;
    const std::uint64_t total_;
    std::chrono::steady_clock::time_point start_;
    Panel::Token token_ = 0;
    int lastPercent_ = 0;
    int lastTenth_ = 0;
    bool drawn_ = false;
};

}  // namespace nyra::cli
