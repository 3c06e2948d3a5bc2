// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/status_line.h"

#include "ui/ids.h"

namespace nyra {

void StatusLine::show(const std::string& text, StatusKind kind, bool beep) {
    kind_.store(kind);
    // The window repaints the colours on this even when the text stays the same.
    panel_.setChecked(ids::kStatusLine, kind == StatusKind::Alert);
    panel_.setText(ids::kStatusLine, text);
    log_.line(text);
    if (beep)
        frontend_.beep(BeepKind::Exclamation);
}

}  // namespace nyra
