// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_view_model.h"

#include <utility>

#include "ui/ids.h"

namespace nyra {

using namespace hexview;

// Holds the lock for one operation; the outermost one tells the listeners
// what changed once the lock is released.
class HexViewModel::Operation {
public:
    explicit Operation(HexViewModel& model) : model_(model) {
        model_.mutex_.lock();
        ++model_.depth_;
    }
    ~Operation() {
        const bool outermost = --model_.depth_ == 0;
        const bool change = outermost && std::exchange(model_.changePending_, false);
        const bool grown = outermost && std::exchange(model_.grownPending_, false);
        model_.mutex_.unlock();
        if (!change && !grown)
            return;
        std::lock_guard lock(model_.listenerMutex_);
        if (grown && model_.grown_)
            model_.grown_();
        if (change && model_.listener_)
            model_.listener_();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    HexViewModel& model_;
};

HexViewModel::HexViewModel(DataBuffer& data, ChipSize chipSize, Panel& panel, StatusLine& status,
                           Frontend& frontend, const TextTable& texts, JobFlags& jobs)
    : data_(data),
      chipSize_(std::move(chipSize)),
      panel_(panel),
      status_(status),
      frontend_(frontend),
      texts_(texts),
      jobs_(jobs) {}

HexViewSnapshot HexViewModel::snapshot() const {
    std::lock_guard lock(mutex_);
    HexViewSnapshot view;
    view.cells = painter_.cells();
    for (int row = 0; row < kGridRows; ++row) {
        for (int column = 0; column < kGridColumns; ++column) {
            const auto i = static_cast<std::size_t>(row * kGridColumns + column);
            view.textColours[i] = painter_.textColour(row, column);
            view.backgrounds[i] = painter_.background(row, column);
        }
    }
    view.editor = editor_.state();
    view.scrollBar = scroller_.bar();
    view.focusRow = scroller_.focusRow();
    view.focusColumn = scroller_.focusColumn();
    view.focusMarkDrawn = focusMarkDrawn();
    view.editMode = editor_.editMode();
    view.focusOwner = focusOwner_;
    view.revision = revision_;
    return view;
}

void HexViewModel::setChangeListener(std::function<void()> listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
}

void HexViewModel::setDataGrownListener(std::function<void()> listener) {
    std::lock_guard lock(listenerMutex_);
    grown_ = std::move(listener);
}

void HexViewModel::changed() {
    ++revision_;
    changePending_ = true;
}

void HexViewModel::status(int key, bool alert, bool beep) {
    status_.show(text(key), alert ? StatusKind::Alert : StatusKind::Normal, beep);
}

void HexViewModel::resetForLoad(bool userFile) {
    Operation op(*this);
    scroller_.reset();
    editor_.untouched();
    if (userFile)
        editor_.close();
    changed();
}

void HexViewModel::refreshView() {
    Operation op(*this);
    if (data_.isLoaded())
        scroller_.showPosition(data_.rows().total);
    const std::uint64_t chip = chipSize_ ? chipSize_() : 0;
    if (painter_.paint(data_, scroller_.viewStart(), chip))
        panel_.enableMenuCommand(ids::kCmdSaveFile);
    repaint();
    changed();
}

// The editor goes where the focus went.
void HexViewModel::repaint() {
    switch (scroller_.follow()) {
        case HexScroller::Followed::Left:
            if (editor_.followsFocus()) {
                // Stays open to come back when the cell scrolls back in.
                editor_.hide();
                focusOwner_ = HexFocusOwner::Grid;
            }
            break;
        case HexScroller::Followed::InView:
            if (editor_.followsFocus()) {
                const HexEditor was = editor_.state();
                openEditor(scroller_.focusRow(), scroller_.focusColumn(), was.text,
                           was.selectionStart, was.selectionLength);
            }
            break;
        case HexScroller::Followed::Nothing:
            break;
    }
}

void HexViewModel::setScrollRange() {
    Operation op(*this);
    scroller_.setRange(data_.rows().total);
    changed();
}

bool HexViewModel::scrollBlocked() const {
    return jobs_.programRunning.load() || jobs_.verifyRunning.load() || !data_.isLoaded() ||
           data_.rows().total <= static_cast<std::uint32_t>(kViewRows);
}

void HexViewModel::scroll(HexScroll action, int thumbPosition) {
    Operation op(*this);
    if (scrollBlocked())
        return;
    focusOwner_ = HexFocusOwner::ScrollBar;
    scroller_.scroll(action, thumbPosition, data_.rows().total);
    refreshView();
}

void HexViewModel::wheel(int delta) {
    Operation op(*this);
    if (scrollBlocked() || delta == 0)
        return;
    if (focusOwner_ != HexFocusOwner::Grid && focusOwner_ != HexFocusOwner::ScrollBar &&
        !editor_.isOpen())
        return;
    scroller_.wheel(delta, data_.rows().total);
    refreshView();
}

void HexViewModel::setFocusOwner(HexFocusOwner owner) {
    Operation op(*this);
    if (focusOwner_ == owner)
        return;
    focusOwner_ = owner;
    changed();
}

void HexViewModel::highlightCell(int row, int column) {
    Operation op(*this);
    if (!isDataCell(row, column))
        return;
    painter_.highlight(row, column);
    changed();
}

void HexViewModel::restoreViewStart(std::uint32_t row) {
    Operation op(*this);
    scroller_.setStart(row);
    refreshView();
}

bool HexViewModel::showAddress(std::uint64_t offset) {
    Operation op(*this);
    const std::uint64_t length = data_.dataLength();
    if (offset >= length) {
        status(55, true);
        frontend_.messageBox(text(55), text(9), BoxIcon::Warning, BoxButtons::Ok);
        return false;
    }
    scroller_.bringIntoView(offset, length);
    scroller_.track();
    refreshView();
    scroller_.focusOn(offset);
    rememberFocus();
    editor_.untouched();
    if (editor_.editMode()) {
        const int row = scroller_.focusRow(), column = scroller_.focusColumn();
        openEditor(row, column, cell(row, column).text, 0, 2);
    }
    changed();
    return true;
}

void HexViewModel::rememberFocus() {
    if (scroller_.focusRow() < 1)
        return;
    scroller_.remember();
    editor_.setStartText(cell(scroller_.focusRow(), scroller_.focusColumn()).text);
}

void HexViewModel::clickCell(int row, int column, bool rightHalf) {
    Operation op(*this);
    scroller_.track();
    focusOwner_ = HexFocusOwner::Grid;
    if (!isDataCell(row, column)) {
        changed();
        return;
    }
    scroller_.focus(row, column);
    if (!jobs_.programRunning.load() && !jobs_.verifyRunning.load() && data_.isLoaded() &&
        editor_.editMode()) {
        rememberFocus();
        editor_.untouched();
        openEditor(row, column, editor_.startText(), rightHalf ? 1 : 0, 1);
    }
    changed();
}

void HexViewModel::openEditor(int row, int column, const std::string& text, int selectionStart,
                              int selectionLength) {
    Operation op(*this);
    if (!isDataCell(row, column))
        return;
    status(3);
    editor_.open(row, column, text, selectionStart, selectionLength);
    focusOwner_ = HexFocusOwner::Editor;
    changed();
}

void HexViewModel::editorTextChanged(const std::string& newText, int caret) {
    Operation op(*this);
    switch (editor_.textChanged(newText, caret)) {
        case HexCellEditor::Typed::Ignored:
            return;
        case HexCellEditor::Typed::Emptied:
            status(7, true);
            frontend_.messageBox(text(7), text(2), BoxIcon::Warning, BoxButtons::Ok);
            changed();
            return;
        case HexCellEditor::Typed::NotHex:
            frontend_.messageBox(text(8), text(9), BoxIcon::Warning, BoxButtons::Ok);
            changed();
            return;
        case HexCellEditor::Typed::Partial:
            changed();
            return;
        case HexCellEditor::Typed::FirstDigit: {
            const int row = scroller_.focusRow(), column = scroller_.focusColumn();
            commitEdit();
            openEditor(row, column, newText, 1, 1);
            return;
        }
        case HexCellEditor::Typed::Complete:
            break;
    }
    commitEdit();
    if (scroller_.focusRow() < 1)
        return;
    int row = scroller_.focusRow(), column = scroller_.focusColumn() + 1;
    if (column > 16) {
        column = 1;
        ++row;
    }
    if (row > kViewRows) {
        scroller_.rowDown();
        refreshView();
        row = kViewRows;
    }
    scroller_.focus(row, column);
    rememberFocus();
    refreshView();
    editor_.nextCell(cell(row, column).text);
    openEditor(row, column, editor_.startText(), 0, 1);
}

void HexViewModel::typeIntoEditor(char key) {
    Operation op(*this);
    if (!editor_.state().visible)
        return;
    const auto [newText, caret] = editor_.withKey(key);
    editorTextChanged(newText, caret);
}

void HexViewModel::commitEdit() {
    Operation op(*this);
    if (jobs_.programRunning.load() || !data_.isLoaded() ||
        (!editor_.editMode() && !editor_.isOpen()))
        return;
    std::string value = editor_.state().text;
    std::uint64_t offset;
    if (scroller_.focusInView()) {
        offset = scroller_.focusOffset();
        rememberFocus();
    } else if (scroller_.hasRemembered()) {
        // The cell scrolled out of view: its editor text is the one it opened with.
        value = editor_.restoreOpenedText();
        offset = scroller_.rememberedOffset();
    } else {
        return;
    }
    std::uint8_t old = 0xFF;
    data_.working().readAt(offset, &old, 1);
    const auto byte = editor_.takeTypedByte(value, old, offset < data_.dataLength());
    editor_.close();
    if (!byte) {
        status(10);
        changed();
        return;
    }
    data_.writeByte(offset, *byte);
    showWrittenData();
    status(11);
}

void HexViewModel::dataWritten() {
    Operation op(*this);
    showWrittenData();
}

void HexViewModel::showWrittenData() {
    const std::uint32_t chip = chipSize_ ? chipSize_() : 0;
    data_.updateRows(chip);
    setScrollRange();
    panel_.setText(ids::kTextFileChecksum, data_.dataChecksumText());
    data_.updateChipChecksum(chip);
    panel_.setText(ids::kTextChipChecksum, data_.chipChecksumText());
    grownPending_ = true;
    refreshView();
    panel_.enableMenuCommand(ids::kCmdSaveFile);
}

void HexViewModel::toggleEditMode(bool fromMenu) {
    Operation op(*this);
    if (jobs_.programRunning.load()) {
        panel_.setChecked(ids::kCheckEditMode, editor_.editMode());
        return;
    }
    if (!data_.isLoaded()) {
        panel_.setChecked(ids::kCheckEditMode, editor_.editMode());
        status(4, true, fromMenu);
        return;
    }
    if (!editor_.editMode()) {
        editor_.setEditMode(true);
        panel_.enableMenuCommand(ids::kCmdFileFill);
        if (scroller_.focusInView()) {
            rememberFocus();
            editor_.untouched();
            openEditor(scroller_.focusRow(), scroller_.focusColumn(), editor_.startText(), 0, 1);
        }
        panel_.setMenuChecked(ids::kCmdEditMode, true);
        status(5);
    } else {
        editor_.setEditMode(false);
        panel_.greyMenuCommand(ids::kCmdFileFill);
        if (scroller_.focusInView()) {
            rememberFocus();
            if (scroller_.rememberedOffset() < data_.dataLength())
                commitEdit();
        }
        // Left open, the editor would go on writing with edit mode off.
        editor_.close();
        focusOwner_ = HexFocusOwner::Grid;
        panel_.setMenuChecked(ids::kCmdEditMode, false);
        status(6);
    }
    panel_.setChecked(ids::kCheckEditMode, editor_.editMode());
    changed();
}

}  // namespace nyra
