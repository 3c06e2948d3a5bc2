// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ui/frontend.h"
#include "ui/operation_log.h"
#include "ui/panel.h"

namespace nyra {

enum class StatusKind : std::uint8_t { Normal = 0, Alert = 1 };

// The status line of the main window. Every status also goes to the log; an
// alert is drawn white on red (the Panel's checked state of the line says so).
class StatusLine {
public:
    StatusLine(Panel& panel, OperationLog& log, Frontend& frontend)
        : panel_(panel), log_(log), frontend_(frontend) {}

    void show(const std::string& text, StatusKind kind, bool beep);
    StatusKind kind() const { return kind_.load(); }

private:
    Panel& panel_;
    OperationLog& log_;
    Frontend& frontend_;
    std::atomic<StatusKind> kind_{StatusKind::Normal};
};

}  // namespace nyra
