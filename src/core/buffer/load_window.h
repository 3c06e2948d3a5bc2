// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace nyra {

// What loading and saving need of the main window beyond its Panel: the
// status line, the log, the shared loaded-file state and the selected chip.
class LoadWindow {
public:
    virtual ~LoadWindow() = default;
    virtual void showStatus(const std::string& text, bool alert) = 0;
    // The log's data file line (the file name and its size text).
    virtual void logDataFile(const std::string& path, std::uint64_t bytes) = 0;
    // The flag the jobs read and the name the program and verify buttons log.
    virtual void setLoadedFile(const std::string& path, std::uint64_t bytes) = 0;
    virtual void clearLoadedFile() = 0;
    virtual std::uint32_t chipSize() const = 0;
    virtual std::string deviceName() const = 0;
    // The program job is streaming data to the chip.
    virtual bool programStreaming() const = 0;
};

// What the hex view and the tools set once they exist; unset hooks do nothing.
struct LoadHooks {
    // The address-offset tool for a .cap file, with its offset value.
    std::function<void(const std::string& path, std::uint32_t offset)> addressOffset;
    // Focus tracking and the grid's focus cell forgotten; after a user's file
    // (not the chip image) the cell editor too.
    std::function<void(bool userFile)> clearFocus;
    // Rows changed: the scroll range follows and the view starts at 0.
    std::function<void()> rowsChanged;
    std::function<void()> refreshView;
    // An open cell editor's value written before a save.
    std::function<void()> commitEdit;
    // Asked between the chunks of a load: true ends it as a failed load
    // (kvq-cli's Ctrl-C and signals during a long load).
    std::function<bool()> stopRequested;
};

}  // namespace nyra
