// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "device/link.h"

namespace nyra::testing {

// Records what the link reports to the main window.
class FakeLinkHost : public LinkHost {
public:
    void statusAlert(TextKey text) override {
        std::lock_guard lock(mutex_);
        alerts.push_back(text);
    }
    void warningBox(TextKey text) override {
        std::lock_guard lock(mutex_);
        boxes.push_back(text);
    }
    void greyMenuCommand(int id) override {
        std::lock_guard lock(mutex_);
        greyed.push_back(id);
    }
    bool programmerBlocked() const override { return blocked.load(); }
    bool deviceChangePending() const override { return deviceChange.load(); }

    std::vector<TextKey> alerts;
    std::vector<TextKey> boxes;
    std::vector<int> greyed;
    std::atomic<bool> blocked{false};
    std::atomic<bool> deviceChange{false};

private:
    std::mutex mutex_;
};

}  // namespace nyra::testing
