// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "buffer/hex_cell_editor.h"
#include "buffer/hex_painter.h"
#include "buffer/hex_scroller.h"
#include "ui/frontend.h"
#include "ui/job_flags.h"
#include "ui/panel.h"
#include "ui/status_line.h"

namespace nyra {

// Which of the view's controls has the keyboard focus (the wheel needs one).
enum class HexFocusOwner { Other, Grid, ScrollBar, Editor };

// Everything a widget draws, taken at one moment.
struct HexViewSnapshot {
    static constexpr std::size_t kCells = hexview::kCells;
    std::array<HexCell, kCells> cells{};
    std::array<Rgb, kCells> textColours{};
    std::array<Rgb, kCells> backgrounds{};
    HexEditor editor;
    HexScrollBar scrollBar;
    int focusRow = -1, focusColumn = -1;
    bool focusMarkDrawn = true;
    bool editMode = false;
    HexFocusOwner focusOwner = HexFocusOwner::Other;
    std::uint64_t revision = 0;

    const HexCell& cell(int row, int column) const {
        return cells[static_cast<std::size_t>(row * hexview::kGridColumns + column)];
    }
};

// The hex view's logic as data: a 21 x 18 grid of texts and colour states,
// the editor and the scroll bar. A widget draws these and forwards the
// user's input to the operations; it must not echo the editor text it
// applies from here back into editorTextChanged.
//
// The front of three parts (painter, scroller, cell editor): it holds the
// lock, joins them with the data and the window, and tells the listeners
// once an operation is over and the lock released.
class HexViewModel {
public:
    using ChipSize = std::function<std::uint32_t()>;

    HexViewModel(DataBuffer& data, ChipSize chipSize, Panel& panel, StatusLine& status,
                 Frontend& frontend, const TextTable& texts, JobFlags& jobs);

    // The look, whole and consistent, for a widget on another thread than
    // the one that changed it (identification refreshes from the worker).
    HexViewSnapshot snapshot() const;
    // The parts, for the thread that changes the view.
    const HexCell& cell(int row, int column) const { return painter_.cell(row, column); }
    Rgb textColour(int row, int column) const { return painter_.textColour(row, column); }
    Rgb background(int row, int column) const { return painter_.background(row, column); }
    const HexEditor& editor() const { return editor_.state(); }
    const HexScrollBar& scrollBar() const { return scroller_.bar(); }
    int focusRow() const { return scroller_.focusRow(); }
    int focusColumn() const { return scroller_.focusColumn(); }
    // Off in edit mode: the editor marks the cell instead.
    bool focusMarkDrawn() const { return !editor_.editMode(); }
    HexFocusOwner focusOwner() const { return focusOwner_; }
    std::uint32_t viewStart() const { return scroller_.viewStart(); }
    bool editMode() const { return editor_.editMode(); }
    bool editorOpen() const { return editor_.isOpen(); }

    // Counts every change; the listener runs once after each operation that
    // made one, outside the lock, so it may read the view from any thread.
    std::uint64_t revision() const { return revision_; }
    // Under their own lock: the worker may be notifying while the window goes away.
    void setChangeListener(std::function<void()> listener);
    // The length or rows changed through an edit (the window rebuilds its size text).
    void setDataGrownListener(std::function<void()> listener);

    // A load: back to the top, no focus; a user's file also closes the editor.
    void resetForLoad(bool userFile);
    void refreshView();
    // Scrolls the byte into view and focuses it; false when beyond the data.
    bool showAddress(std::uint64_t offset);
    void setScrollRange();
    void scroll(HexScroll action, int thumbPosition = 0);
    void wheel(int delta);
    void setFocusOwner(HexFocusOwner owner);
    // The search marks its matches.
    void highlightCell(int row, int column);
    // Back to a top row the view had before (the search's last match).
    void restoreViewStart(std::uint32_t row);
    // A tool wrote the data: rows, scroll range, checksums and the view follow,
    // and Save is offered.
    void dataWritten();

    // A click on a data cell; rightHalf selects the second digit.
    void clickCell(int row, int column, bool rightHalf);
    void openEditor(int row, int column, const std::string& text, int selectionStart,
                    int selectionLength);
    // Every change of the editor's text; caret -1 when it has none.
    void editorTextChanged(const std::string& text, int caret);
    // A key typed into the editor as the edit control takes it: upper case,
    // replacing the selection; then editorTextChanged.
    void typeIntoEditor(char key);
    void commitEdit();
    void toggleEditMode(bool fromMenu);

private:
    class Operation;

    bool scrollBlocked() const;
    void repaint();
    void rememberFocus();
    void showWrittenData();
    void status(int key, bool alert = false, bool beep = false);
    const std::string& text(int key) const { return texts_.text(itext(key)); }
    void changed();

    DataBuffer& data_;
    ChipSize chipSize_;
    Panel& panel_;
    StatusLine& status_;
    Frontend& frontend_;
    const TextTable& texts_;
    JobFlags& jobs_;

    HexPainter painter_;
    HexScroller scroller_;
    HexCellEditor editor_;
    HexFocusOwner focusOwner_ = HexFocusOwner::Other;

    // Every operation runs whole under it: the window thread edits and scrolls,
    // the worker refreshes after it selected a chip. Recursive: operations call each other.
    mutable std::recursive_mutex mutex_;
    int depth_ = 0;
    bool changePending_ = false;
    bool grownPending_ = false;
    std::uint64_t revision_ = 0;
    // Recursive: a listener's redraw may run another operation on its thread.
    std::recursive_mutex listenerMutex_;
    std::function<void()> listener_;
    std::function<void()> grown_;
};

}  // namespace nyra
