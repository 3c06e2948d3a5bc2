// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "buffer/hex_view_model.h"
#include "ui/frontend.h"
#include "ui/ids.h"
#include "ui/panel.h"
#include "ui/status_line.h"
#include "ui/tool_fields.h"

namespace nyra {

inline constexpr ToolField kFileFillFields[] = {
    {ids::kFileFillAddress, FieldKind::Hex, 8, "0"},
    {ids::kFileFillLength, FieldKind::Decimal, 10, "1"},
    {ids::kFileFillData, FieldKind::Hex, 2, ""},
};

// The file fill window without its widgets: writes one byte value over a
// range of the data, in edit mode only.
class FileFillWindow {
public:
    FileFillWindow(DataBuffer& data, HexViewModel& view, StatusLine& status, Frontend& frontend,
                   const TextTable& texts);

    Panel& panel() { return panel_; }
    FieldChecks& fields() { return fields_; }
    std::string title() const;

    // A new window: captions, start values, filling at the address.
    void open();
    // The check box: fill from the end of the data, the address fixed to it.
    void setFillFromEnd(bool fromEnd);
    bool addressReadOnly() const { return panel_.checked(ids::kFileFillFromEnd); }
    // The action button.
    void fill();

private:
    void box(TextKey key);

    DataBuffer& data_;
    HexViewModel& view_;
    StatusLine& status_;
    Frontend& frontend_;
    const TextTable& texts_;
    Panel panel_;
    FieldChecks fields_;
};

}  // namespace nyra
