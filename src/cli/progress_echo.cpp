// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress_echo.h"

#include <cstdio>

namespace nyra::cli {

ProgressEcho::ProgressEcho(Panel& panel, int control, std::ostream& out, bool terminal,
                           std::uint64_t total)
    : panel_(panel),
      control_(control),
      out_(out),
      terminal_(terminal),
      total_(total),
      start_(std::chrono::steady_clock::now()) {
    token_ = panel_.subscribe([this](const PanelChange& change) {
        if (change.id == control_ && change.property == PanelProperty::Text)
            show(panel_.text(control_));
    });
}

ProgressEcho::~ProgressEcho() {
    panel_.unsubscribe(token_);
    if (terminal_ && drawn_)
        out_ << '\n' << std::flush;
}

int ProgressEcho::percentOf(const std::string& label) {
    const auto percentSign = label.rfind('%');
    if (percentSign == std::string::npos)
        return -1;
    auto digits = percentSign;
    while (digits > 0 && label[digits - 1] >= '0' && label[digits - 1] <= '9')
        --digits;
    if (digits == percentSign || percentSign - digits > 3)
        return -1;
    return std::stoi(label.substr(digits, percentSign - digits));
}

void ProgressEcho::show(const std::string& label) {
    const int percent = percentOf(label);
    if (percent < 0)
        return;
    if (percent < lastPercent_) {
        lastTenth_ = 0;
        start_ = std::chrono::steady_clock::now();
        if (terminal_ && drawn_)
            out_ << '\n';
    }
    lastPercent_ = percent;
    if (!terminal_) {
        if (percent / 10 > lastTenth_) {
            lastTenth_ = percent / 10;
            out_ << percent << "%\n" << std::flush;
        }
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double mib = static_cast<double>(total_) * percent / 100.0 / (1 << 20);
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    char line[128];
    std::snprintf(line, sizeof line, "\r[%-*s] %3d%%  %.1f MiB/s", kWidth,
                  std::string(static_cast<std::size_t>(filled), '#').c_str(), percent,
                  seconds > 0 ? mib / seconds : 0.0);
    out_ << line << std::flush;
    drawn_ = true;
}

}  // namespace nyra::cli
