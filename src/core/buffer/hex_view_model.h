#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "ops/job_flags.h"
#include "ui/frontend.h"
#include "ui/panel.h"
#include "ui/status_line.h"

namespace nyra {

namespace hexview {
inline constexpr int kGridRows = 21;
inline constexpr int kGridColumns = 18;
inline constexpr int kViewRows = 20;
inline constexpr int kAsciiColumn = 17;
inline constexpr std::size_t kWindowBytes = kViewRows * kRowBytes;
// From this many rows on the bar's 0..32767 no longer holds one step a row.
inline constexpr std::uint32_t kProportionalRows = 32788;
inline constexpr int kScrollLimit = 32767;
}  // namespace hexview

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

namespace hexcolour {
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kChanged{255, 0, 0};
inline constexpr Rgb kOutside{204, 204, 204};
inline constexpr Rgb kBeyondChip{100, 149, 237};
inline constexpr Rgb kFixedText{0, 0, 255};
inline constexpr Rgb kHighlightText{255, 255, 255};
inline constexpr Rgb kHighlightBackground{0, 0, 255};
}  // namespace hexcolour

enum CellState : int {
    kCellNormal = 0,
    kCellChanged = 1,
    kCellOutside = 2,
    kCellHighlighted = 3,
    kCellBeyondChip = 4,
};

struct HexCell {
    std::string text;
    int state = kCellOutside;  // data cells only; fixed cells keep 0
};

// The cell editor: shown over one data cell or hidden.
struct HexEditor {
    bool visible = false;
    int row = -1, column = -1;
    std::string text;
    int selectionStart = 0, selectionLength = 0;
    // Counts the openings: each one gives the editor the focus, a redraw does not.
    std::uint64_t opening = 0;
};

struct HexScrollBar {
    int minimum = 0, maximum = 0, position = 0;
    bool enabled = false;
};

enum class HexScroll { LineUp, LineDown, PageUp, PageDown, Thumb };
// Which of the view's controls has the keyboard focus (the wheel needs one).
enum class HexFocusOwner { Other, Grid, ScrollBar, Editor };

// Everything a widget draws, taken at one moment.
struct HexViewSnapshot {
    static constexpr std::size_t kCells = hexview::kGridRows * hexview::kGridColumns;
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
class HexViewModel {
public:
    using ChipSize = std::function<std::uint32_t()>;

    HexViewModel(DataBuffer& data, ChipSize chipSize, Panel& panel, StatusLine& status,
                 Frontend& frontend, const TextTable& texts, JobFlags& jobs);

    // The look, whole and consistent, for a widget on another thread than
    // the one that changed it (identification refreshes from the worker).
    HexViewSnapshot snapshot() const;
    // The parts, for the thread that changes the view.
    const HexCell& cell(int row, int column) const;
    Rgb textColour(int row, int column) const;
    Rgb background(int row, int column) const;
    const HexEditor& editor() const { return editor_; }
    const HexScrollBar& scrollBar() const { return bar_; }
    int focusRow() const { return focusRow_; }
    int focusColumn() const { return focusColumn_; }
    // Off in edit mode: the editor marks the cell instead.
    bool focusMarkDrawn() const { return focusMarkDrawn_; }
    HexFocusOwner focusOwner() const { return focusOwner_; }
    std::uint32_t viewStart() const { return viewStart_; }
    bool editMode() const { return editMode_; }
    bool editorOpen() const { return editorOpen_; }

    // Counts every change; the listener runs after each operation that made one.
    std::uint64_t revision() const { return revision_; }
    // Under the lock: the worker may be notifying while the window goes away.
    void setChangeListener(std::function<void()> listener) {
        std::lock_guard lock(mutex_);
        listener_ = std::move(listener);
    }
    // The length or rows changed through an edit (the window rebuilds its size text).
    void setDataGrownListener(std::function<void()> listener) {
        std::lock_guard lock(mutex_);
        grown_ = std::move(listener);
    }

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
    HexCell& at(int row, int column) { return cells_[row * hexview::kGridColumns + column]; }
    std::uint64_t cellOffset(std::uint32_t absoluteRow, int column) const {
        return std::uint64_t{absoluteRow} * kRowBytes + static_cast<unsigned>(column - 1);
    }
    bool dataCell(int row, int column) const;
    int barPosition(std::uint32_t total) const;
    bool scrollBlocked() const;
    void rememberFocus();
    void hideEditor();
    void showWrittenData();
    void trackFocus();
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

    std::array<HexCell, hexview::kGridRows * hexview::kGridColumns> cells_{};
    HexEditor editor_;
    HexScrollBar bar_;
    std::uint32_t viewStart_ = 0;
    std::uint32_t previousViewStart_ = 0;
    int focusRow_ = -1, focusColumn_ = -1;
    bool focusMarkDrawn_ = true;
    HexFocusOwner focusOwner_ = HexFocusOwner::Other;
    bool editMode_ = false;
    bool editorOpen_ = false;
    bool tracking_ = false;

    // The cell the editor works on, kept across scrolls.
    bool remembered_ = false;
    std::uint32_t rememberedRow_ = 0;  // absolute
    int rememberedColumn_ = 0;
    std::string startText_;
    HexEditor snapshot_;
    std::string lastValid_;
    // The user typed into the open editor since its last commit.
    bool typed_ = false;

    // Every operation runs whole under it: the window thread edits and scrolls,
    // the worker refreshes after it selected a chip. Recursive: operations call each other.
    mutable std::recursive_mutex mutex_;
    std::uint64_t revision_ = 0;
    std::function<void()> listener_;
    std::function<void()> grown_;
};

}  // namespace nyra
