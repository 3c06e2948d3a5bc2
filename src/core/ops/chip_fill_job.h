// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/text_table.h"
#include "ops/job_context.h"
#include "ui/frontend.h"
#include "ui/ids.h"
#include "ui/panel.h"
#include "ui/tool_fields.h"

namespace nyra {

// Address and length count words on a 16-bit chip.
inline constexpr ToolField kChipFillFields[] = {
    {ids::kChipFillAddress, FieldKind::Hex, 8, "0"},
    {ids::kChipFillLength, FieldKind::Decimal, 8, "1"},
    {ids::kChipFillByte, FieldKind::Hex, 2, "FF"},
    {ids::kChipFillWord, FieldKind::Hex, 4, "FFFF"},
};

inline constexpr const char* kChipFillFileFilter = "*.*|*.*|*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom||";

// The chip fill window without its widgets. Job 19 reads its fields and
// writes its status while the window stays open.
class ChipFillWindow {
public:
    ChipFillWindow(std::function<void()> startFill, Frontend& frontend, const TextTable& texts);

    Panel& panel() { return panel_; }
    std::string title() const;
    const ToolField* field(int id) const { return checks_.field(id); }

    // A new window for the selected chip: texts, start values, and the data
    // field of the chip's organisation.
    void open(bool sixteenBit);
    bool sixteenBit() const { return sixteenBit_.load(); }

    // A change the person made to a number field, with the caret where it left it.
    void fieldChanged(int id, int caret, const FieldChecks::PutCaret& putCaret = {});
    // The check box: a file instead of one value, over the file's length.
    void setFileMode(bool on);
    void browse();
    // The action button: checks the fields and starts the fill.
    void fill();

    // While the chip is being written the window must stay open: its cancel
    // button is disabled and closing it is ignored.
    bool closeAllowed() const { return !filling_.load(); }
    void setFilling(bool on);
    void showStatus(TextKey key) { panel_.setText(ids::kChipFillStatus, texts_.text(key)); }

private:
    int dataField() const { return sixteenBit() ? ids::kChipFillWord : ids::kChipFillByte; }
    // The status field and a warning box.
    void refuse(TextKey key);

    std::function<void()> startFill_;
    Frontend& frontend_;
    const TextTable& texts_;
    Panel panel_;
    FieldChecks checks_{panel_, frontend_, texts_, kChipFillFields};
    std::atomic<bool> sixteenBit_{false};
    std::atomic<bool> filling_{false};
};

// Job 19: the range of the window's fields filled on the chip, one erase
// unit at a time: read, merged in the scratch file, written back whole.
// Returns 0 in every case, as the programmer is told.
std::uint8_t fillChip(ChipJobRoles context, ChipFillWindow& window, const std::string& scratchPath);

}  // namespace nyra
