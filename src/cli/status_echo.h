// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "console_frontend.h"
#include "ui/ids.h"
#include "ui/panel.h"

namespace nyra::cli {

// Prints every new text of the status line while subscribed.
class StatusEcho {
public:
    StatusEcho(Panel& panel, ConsoleFrontend& console) : panel_(panel) {
        token_ = panel_.subscribe([this, &console](const PanelChange& change) {
            if (change.target == PanelChange::Target::Control && change.id == ids::kStatusLine &&
                change.property == PanelProperty::Text) {
                const std::string text = panel_.text(ids::kStatusLine);
                if (!text.empty())
                    console.print(text);
            }
        });
    }
    ~StatusEcho() { panel_.unsubscribe(token_); }
    StatusEcho(const StatusEcho&) = delete;
    StatusEcho& operator=(const StatusEcho&) = delete;

private:
    Panel& panel_;
    Panel::Token token_ = 0;
};

}  // namespace nyra::cli
