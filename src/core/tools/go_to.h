// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/text_table.h"
#include "buffer/hex_view_model.h"
#include "ui/frontend.h"
#include "ui/ids.h"
#include "ui/panel.h"
#include "ui/tool_fields.h"

namespace nyra {

inline constexpr ToolField kGoToFields[] = {
    {ids::kGoToAddress, FieldKind::Hex, 8, ""},
};

// One go-to window without its widgets; several may be open at once.
class GoToWindow {
public:
    GoToWindow(HexViewModel& view, Frontend& frontend, const TextTable& texts);

    Panel& panel() { return panel_; }
    FieldChecks& fields() { return fields_; }
    std::string title() const;

    void open();
    // The action button: the address in view, its cell focused.
    void go();

private:
    HexViewModel& view_;
    Frontend& frontend_;
    const TextTable& texts_;
    Panel panel_;
    FieldChecks fields_;
};

}  // namespace nyra
