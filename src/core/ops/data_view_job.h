// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "buffer/hex_view_model.h"
#include "ops/job_context.h"
#include "ui/tool_fields.h"

namespace nyra {

inline constexpr ToolField kDataViewFields[] = {
    {ids::kDataViewAddress, FieldKind::Hex, 8, "0"},
};

// A menu item's text as a window title: no accelerator mark, no "...".
std::string windowTitleOfMenuText(const std::string& menuText);

// The data view window without its widgets: the byte (or word) of the data
// and of the chip at one address. The exchange with the programmer runs on
// the worker, so it never blocks the window nor meets a job's transfer; the
// fields show its result when it arrives.
class DataViewWindow {
public:
    DataViewWindow(std::function<void()> startView, Frontend& frontend, const TextTable& texts);

    Panel& panel() { return panel_; }
    FieldChecks& fields() { return fields_; }
    std::string title() const;

    void open();
    // The action button: the address is taken now, the view runs on the worker.
    void view();
    std::uint64_t requestedAddress() const { return requested_.load(); }

private:
    std::function<void()> startView_;
    Frontend& frontend_;
    const TextTable& texts_;
    Panel panel_;
    FieldChecks fields_;
    std::atomic<std::uint64_t> requested_{0};
};

// The data view's exchange, on the worker: the quiet identification, the
// data's bytes, command 17 and the chip's two bytes.
std::uint8_t viewData(DataJobRoles context, DataViewWindow& window, HexViewModel& view);

}  // namespace nyra
