// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "window_core.h"

namespace nyra::gui::test {

// A WindowCore that records what the window forwards and answers as told.
class RecordingCore final : public WindowCore {
public:
    Panel& panel() override { return panel_; }
    LogModel& log() override { return log_; }
    bool statusAlert() const override { return alert; }
    int progressPosition() const override { return progress; }
    void command(int id) override {
        commands.push_back(id);
        if (onCommand)
            onCommand(id);
    }
    bool keyPressed(ids::Key key, bool ctrlHeld) override {
        keys.emplace_back(key, ctrlHeld);
        return consumedKeys.contains(key);
    }
    bool escapeOrEnterPressed(bool enter) override {
        escapeOrEnter.push_back(enter);
        return true;
    }
    void windowMessage(int message, std::uintptr_t wordParameter) override {
        messages.emplace_back(message, wordParameter);
    }
    bool closeRequested() override {
        ++closeRequests;
        return allowClose;
    }

    std::function<void(int)> onCommand;
    bool alert = false;
    int progress = 0;
    bool allowClose = true;
    std::set<ids::Key> consumedKeys;

    std::vector<int> commands;
    std::vector<std::pair<ids::Key, bool>> keys;
    std::vector<bool> escapeOrEnter;
    std::vector<std::pair<int, std::uintptr_t>> messages;
    int closeRequests = 0;

private:
    Panel panel_;
    LogModel log_;
};

}  // namespace nyra::gui::test
