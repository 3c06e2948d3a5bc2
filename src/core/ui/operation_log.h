// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "app/clock.h"
#include "ui/log_model.h"

namespace nyra {

// The log view and log.txt. A line in the view starts with the time of day;
// the same text logged again replaces the last line with the newer time, so a
// repeated status does not fill the view. log.txt gets every line with date
// and time.
class OperationLog {
public:
    OperationLog(LogModel& view, const Clock& clock) : view_(view), clock_(clock) {}

    // log.txt in the program folder; it is created at start-up, never here.
    void setFilePath(std::string path);
    const std::string& filePath() const { return filePath_; }

    void line(const std::string& text);
    void fileLine(const std::string& text);
    void clear();
    // The loaded data file: its name (after the last separator), a space and its size text.
    void dataFile(const std::string& path, std::uint64_t bytes);

    // "9:05:03  ": hour without a leading zero, then two spaces.
    static std::string timePrefix(const LocalTime& time);
    static std::string fileStamp(const LocalTime& time);

private:
    LogModel& view_;
    const Clock& clock_;
    std::string filePath_;
    std::mutex mutex_;  // the last logged text and the order of view changes
    std::string lastText_;
};

// "%0.2fKB" of the length in KiB.
std::string sizeText(std::uint64_t bytes);

}  // namespace nyra
