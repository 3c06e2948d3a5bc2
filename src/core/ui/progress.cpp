// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress.h"

#include <algorithm>

namespace nyra {

void Progress::setPosition(int position, const std::string& label) {
    // The position first: the window reads it when the label changes.
    position_.store(position);
    panel_.setText(control_, label);
}

void Progress::begin(const std::string& label) {
    label_ = label;
    shown_ = 0;
    done_.store(0);
    panel_.setVisible(control_, true);
    setPosition(0, label_ + "0%");
}

void Progress::update(std::uint64_t done, std::uint64_t total) {
    done_.store(std::min(done, total));
    if (total == 0)
        return;
    const auto percent = static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
    if (percent <= shown_)
        return;
    shown_ = percent;
    setPosition(percent, label_ + std::to_string(percent) + "%");
}

void Progress::end() {
    shown_ = 0;
    setPosition(0, "");
    panel_.setVisible(control_, false);
}

}  // namespace nyra
