#include "buffer/hex_view_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ui/ids.h"

namespace nyra {

using namespace hexview;

namespace {

std::string hex8(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%8X", static_cast<unsigned>(value));
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

std::string hex2(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%2X", value);
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

char shown(std::uint8_t byte) {
    return byte >= 33 && byte <= 126 ? static_cast<char>(byte) : '.';
}

bool hexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int digitValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

}  // namespace

HexViewModel::HexViewModel(DataBuffer& data, ChipSize chipSize, Panel& panel, StatusLine& status,
                           Frontend& frontend, const TextTable& texts, JobFlags& jobs)
    : data_(data),
      chipSize_(std::move(chipSize)),
      panel_(panel),
      status_(status),
      frontend_(frontend),
      texts_(texts),
      jobs_(jobs) {
    at(0, 0).text = "  ADDR";
    for (int k = 1; k <= 16; ++k) {
        char digit[4];
        std::snprintf(digit, sizeof digit, "%X", k - 1);
        at(0, k).text = digit;
    }
    at(0, kAsciiColumn).text = "     ASCII";
    for (int r = 1; r <= kViewRows; ++r) {
        at(r, 0).text = hex8(std::uint64_t(r - 1) * kRowBytes);
        for (int k = 1; k <= 16; ++k)
            at(r, k) = {"FF", kCellOutside};
        at(r, kAsciiColumn).text = "................";
    }
    for (int k = 0; k < kGridColumns; ++k)
        at(0, k).state = kCellNormal;
    for (int r = 1; r <= kViewRows; ++r) {
        at(r, 0).state = kCellNormal;
        at(r, kAsciiColumn).state = kCellNormal;
    }
}

HexViewSnapshot HexViewModel::snapshot() const {
    std::lock_guard lock(mutex_);
    HexViewSnapshot view;
    for (int row = 0; row < hexview::kGridRows; ++row) {
        for (int column = 0; column < hexview::kGridColumns; ++column) {
            const auto i = static_cast<std::size_t>(row * hexview::kGridColumns + column);
            view.cells[i] = cells_[i];
            view.textColours[i] = textColour(row, column);
            view.backgrounds[i] = background(row, column);
        }
    }
    view.editor = editor_;
    view.scrollBar = bar_;
    view.focusRow = focusRow_;
    view.focusColumn = focusColumn_;
    view.focusMarkDrawn = focusMarkDrawn_;
    view.editMode = editMode_;
    view.focusOwner = focusOwner_;
    view.revision = revision_;
    return view;
}

const HexCell& HexViewModel::cell(int row, int column) const {
    return cells_[static_cast<std::size_t>(row * kGridColumns + column)];
}

bool HexViewModel::dataCell(int row, int column) const {
    return row >= 1 && row <= kViewRows && column >= 1 && column <= 16;
}

Rgb HexViewModel::textColour(int row, int column) const {
    if (row == 0 || column == 0)
        return hexcolour::kFixedText;
    if (!dataCell(row, column))
        return hexcolour::kBlack;
    switch (cell(row, column).state) {
        case kCellChanged:
            return hexcolour::kChanged;
        case kCellOutside:
            return hexcolour::kOutside;
        case kCellHighlighted:
            return hexcolour::kHighlightText;
        case kCellBeyondChip:
            return hexcolour::kBeyondChip;
        default:
            return hexcolour::kBlack;
    }
}

Rgb HexViewModel::background(int row, int column) const {
    if (dataCell(row, column) && cell(row, column).state == kCellHighlighted)
        return hexcolour::kHighlightBackground;
    return hexcolour::kWhite;
}

void HexViewModel::changed() {
    ++revision_;
    if (listener_)
        listener_();
}

void HexViewModel::status(int key, bool alert, bool beep) {
    status_.show(text(key), alert ? StatusKind::Alert : StatusKind::Normal, beep);
}

void HexViewModel::resetForLoad(bool userFile) {
    std::lock_guard lock(mutex_);
    viewStart_ = 0;
    previousViewStart_ = 0;
    tracking_ = false;
    focusRow_ = focusColumn_ = -1;
    remembered_ = false;
    typed_ = false;
    if (userFile) {
        editor_.visible = false;
        editorOpen_ = false;
    }
    changed();
}

int HexViewModel::barPosition(std::uint32_t total) const {
    if (total < kProportionalRows)
        return static_cast<int>(viewStart_);
    const std::uint64_t position = std::uint64_t{viewStart_} * kScrollLimit / (total - kViewRows);
    return static_cast<int>(std::min<std::uint64_t>(position, kScrollLimit));
}

void HexViewModel::refreshView() {
    std::lock_guard lock(mutex_);
    std::array<std::uint8_t, kWindowBytes> window;
    std::array<std::uint8_t, kWindowBytes> reference;
    window.fill(255);
    reference.fill(0);
    const bool loaded = data_.isLoaded();
    std::uint64_t referenceLength = 0;
    const std::uint64_t start = std::uint64_t{viewStart_} * kRowBytes;
    if (loaded) {
        data_.working().readAt(start, window.data(), window.size());
        data_.reference().readAt(start, reference.data(), reference.size());
        referenceLength = data_.reference().length();
        bar_.position = barPosition(data_.rows().total);
    }
    const std::uint64_t length = data_.dataLength();
    const std::uint64_t chip = chipSize_ ? chipSize_() : 0;
    bool enteredChanged = false;
    for (int r = 1; r <= kViewRows; ++r) {
        const std::uint64_t rowStart = (std::uint64_t{viewStart_} + r - 1) * kRowBytes;
        at(r, 0).text = hex8(rowStart);
        std::string chars(16, '.');
        for (int k = 1; k <= 16; ++k) {
            const std::size_t i = static_cast<std::size_t>((r - 1) * 16 + k - 1);
            const std::uint64_t n = rowStart + static_cast<unsigned>(k);  // offset + 1
            int state;
            if (!loaded)
                state = kCellOutside;
            else if (window[i] != reference[i] || n > referenceLength)
                state = n > length ? kCellOutside : kCellChanged;
            else
                state = n > chip ? kCellBeyondChip : kCellNormal;
            HexCell& c = at(r, k);
            if (state == kCellChanged && c.state != kCellChanged)
                enteredChanged = true;
            c.state = state;
            c.text = hex2(window[i]);
            chars[static_cast<std::size_t>(k - 1)] = shown(window[i]);
        }
        at(r, kAsciiColumn).text = chars;
    }
    if (enteredChanged)
        panel_.enableMenuCommand(ids::kCmdSaveFile);
    trackFocus();
    changed();
}

void HexViewModel::trackFocus() {
    // The previous start is kept even without tracking, so a later click maps
    // to the right absolute row.
    if (tracking_) {
        if (focusRow_ >= 1) {
            const std::uint32_t absolute =
                previousViewStart_ + static_cast<std::uint32_t>(focusRow_ - 1);
            remembered_ = true;
            rememberedRow_ = absolute;
            rememberedColumn_ = focusColumn_;
            const std::int64_t row = std::int64_t{absolute} - viewStart_ + 1;
            if (row < 1 || row > kViewRows) {
                focusRow_ = focusColumn_ = -1;
                if (editorOpen_ && editMode_) {
                    // Stays open to come back when the cell scrolls back in.
                    editor_.visible = false;
                    focusOwner_ = HexFocusOwner::Grid;
                }
            } else {
                focusRow_ = static_cast<int>(row);
                if (editorOpen_ && editMode_)
                    openEditor(focusRow_, focusColumn_, editor_.text, editor_.selectionStart,
                               editor_.selectionLength);
            }
        } else if (remembered_ && rememberedRow_ >= viewStart_ &&
                   rememberedRow_ - viewStart_ < static_cast<std::uint32_t>(kViewRows)) {
            focusRow_ = static_cast<int>(rememberedRow_ - viewStart_) + 1;
            focusColumn_ = rememberedColumn_;
            if (editorOpen_ && editMode_)
                openEditor(focusRow_, focusColumn_, editor_.text, editor_.selectionStart,
                           editor_.selectionLength);
        }
    }
    previousViewStart_ = viewStart_;
}

void HexViewModel::setScrollRange() {
    std::lock_guard lock(mutex_);
    const std::uint32_t total = data_.rows().total;
    bar_.minimum = 0;
    bar_.position = 0;
    if (total <= static_cast<std::uint32_t>(kViewRows))
        bar_.maximum = 0;
    else if (total < kProportionalRows)
        bar_.maximum = static_cast<int>(total - kViewRows);
    else
        bar_.maximum = kScrollLimit;
    bar_.enabled = bar_.maximum > 0;
    changed();
}

bool HexViewModel::scrollBlocked() const {
    return jobs_.programRunning.load() || jobs_.verifyRunning.load() || !data_.isLoaded() ||
           data_.rows().total <= static_cast<std::uint32_t>(kViewRows);
}

void HexViewModel::scroll(HexScroll action, int thumbPosition) {
    std::lock_guard lock(mutex_);
    if (scrollBlocked())
        return;
    focusOwner_ = HexFocusOwner::ScrollBar;
    const std::uint32_t total = data_.rows().total;
    switch (action) {
        case HexScroll::LineUp:
        case HexScroll::PageUp:
            if (viewStart_ > 0)
                --viewStart_;
            break;
        case HexScroll::LineDown:
        case HexScroll::PageDown:
            if (std::uint64_t{viewStart_} + kViewRows < total)
                ++viewStart_;
            break;
        case HexScroll::Thumb: {
            if (thumbPosition < 0)
                break;
            const std::uint64_t p = static_cast<std::uint64_t>(thumbPosition);
            const std::uint64_t start =
                total < kProportionalRows ? p : p * (total - kViewRows) / kScrollLimit;
            if (start + kViewRows <= total)
                viewStart_ = static_cast<std::uint32_t>(start);
            break;
        }
    }
    refreshView();
}

void HexViewModel::wheel(int delta) {
    std::lock_guard lock(mutex_);
    if (scrollBlocked() || delta == 0)
        return;
    if (focusOwner_ != HexFocusOwner::Grid && focusOwner_ != HexFocusOwner::ScrollBar &&
        !editorOpen_)
        return;
    const std::uint32_t total = data_.rows().total;
    if (delta > 0 && viewStart_ > 0)
        --viewStart_;
    else if (delta < 0 && std::uint64_t{viewStart_} + kViewRows < total)
        ++viewStart_;
    refreshView();
}

void HexViewModel::setFocusOwner(HexFocusOwner owner) {
    std::lock_guard lock(mutex_);
    if (focusOwner_ == owner)
        return;
    focusOwner_ = owner;
    changed();
}

void HexViewModel::highlightCell(int row, int column) {
    std::lock_guard lock(mutex_);
    if (!dataCell(row, column))
        return;
    at(row, column).state = kCellHighlighted;
    changed();
}

void HexViewModel::restoreViewStart(std::uint32_t row) {
    std::lock_guard lock(mutex_);
    viewStart_ = row;
    refreshView();
    changed();
}

bool HexViewModel::showAddress(std::uint64_t offset) {
    std::lock_guard lock(mutex_);
    const std::uint64_t length = data_.dataLength();
    if (offset >= length) {
        status(55, true);
        frontend_.messageBox(text(55), text(9), BoxIcon::Warning, BoxButtons::Ok);
        return false;
    }
    // Short data too: with a chip selected the view may stand far past its end.
    const std::uint64_t start = std::uint64_t{viewStart_} * kRowBytes;
    if (offset < start || offset > start + kWindowBytes - 1)
        viewStart_ = static_cast<std::uint32_t>(offset / kRowBytes);
    const auto dataRows = static_cast<std::int64_t>((length + 15) / 16);
    if (dataRows - viewStart_ < kViewRows)
        viewStart_ = static_cast<std::uint32_t>(std::max<std::int64_t>(dataRows - kViewRows, 0));
    tracking_ = true;
    refreshView();
    const int row = static_cast<int>(offset / kRowBytes - viewStart_) + 1;
    const int column = static_cast<int>(offset % kRowBytes) + 1;
    focusRow_ = row;
    focusColumn_ = column;
    rememberFocus();
    typed_ = false;
    if (editMode_)
        openEditor(row, column, cell(row, column).text, 0, 2);
    changed();
    return true;
}

void HexViewModel::rememberFocus() {
    if (focusRow_ < 1)
        return;
    remembered_ = true;
    rememberedRow_ = viewStart_ + static_cast<std::uint32_t>(focusRow_ - 1);
    rememberedColumn_ = focusColumn_;
    startText_ = cell(focusRow_, focusColumn_).text;
}

void HexViewModel::clickCell(int row, int column, bool rightHalf) {
    std::lock_guard lock(mutex_);
    tracking_ = true;
    focusOwner_ = HexFocusOwner::Grid;
    if (!dataCell(row, column)) {
        changed();
        return;
    }
    focusRow_ = row;
    focusColumn_ = column;
    if (!jobs_.programRunning.load() && !jobs_.verifyRunning.load() && data_.isLoaded() &&
        editMode_) {
        rememberFocus();
        typed_ = false;
        openEditor(row, column, startText_, rightHalf ? 1 : 0, 1);
    }
    changed();
}

void HexViewModel::openEditor(int row, int column, const std::string& text, int selectionStart,
                              int selectionLength) {
    std::lock_guard lock(mutex_);
    if (!dataCell(row, column))
        return;
    status(3);
    editor_.visible = true;
    editor_.row = row;
    editor_.column = column;
    editor_.text = text;
    editor_.selectionStart = selectionStart;
    editor_.selectionLength = selectionLength;
    ++editor_.opening;
    focusOwner_ = HexFocusOwner::Editor;
    editorOpen_ = true;
    snapshot_ = editor_;
    changed();
}

void HexViewModel::hideEditor() {
    editor_.visible = false;
    editorOpen_ = false;
}

void HexViewModel::editorTextChanged(const std::string& newText, int caret) {
    std::lock_guard lock(mutex_);
    if (newText.empty()) {
        status(7, true);
        frontend_.messageBox(text(7), text(2), BoxIcon::Warning, BoxButtons::Ok);
        editor_.text = startText_;
        lastValid_ = startText_;
        editor_.selectionStart = 0;
        editor_.selectionLength = static_cast<int>(startText_.size());
        changed();
        return;
    }
    if (caret <= 0 || caret > static_cast<int>(newText.size()))
        return;
    const int p = caret - 1;
    if (!hexDigit(newText[static_cast<std::size_t>(p)])) {
        frontend_.messageBox(text(8), text(9), BoxIcon::Warning, BoxButtons::Ok);
        editor_.text = lastValid_.empty() ? startText_ : lastValid_;
        editor_.selectionStart = p;
        editor_.selectionLength = 1;
        changed();
        return;
    }
    editor_.text = newText;
    editor_.selectionStart = caret;
    editor_.selectionLength = 0;
    lastValid_ = newText;
    typed_ = true;
    if (p == 0) {
        const int row = focusRow_, column = focusColumn_;
        commitEdit();
        openEditor(row, column, newText, 1, 1);
        return;
    }
    if (newText.size() != 2) {
        changed();
        return;
    }
    commitEdit();
    if (focusRow_ < 1)
        return;
    int row = focusRow_, column = focusColumn_ + 1;
    if (column > 16) {
        column = 1;
        ++row;
    }
    if (row > kViewRows) {
        ++viewStart_;
        refreshView();
        row = kViewRows;
    }
    focusRow_ = row;
    focusColumn_ = column;
    rememberFocus();
    refreshView();
    lastValid_.clear();
    startText_ = cell(row, column).text;
    openEditor(row, column, startText_, 0, 1);
}

void HexViewModel::typeIntoEditor(char key) {
    std::lock_guard lock(mutex_);
    if (!editor_.visible)
        return;
    std::string t = editor_.text;
    const auto size = static_cast<int>(t.size());
    const int start = std::clamp(editor_.selectionStart, 0, size);
    const int length = std::clamp(editor_.selectionLength, 0, size - start);
    t.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(length), 1,
              static_cast<char>(std::toupper(static_cast<unsigned char>(key))));
    editorTextChanged(t, start + 1);
}

void HexViewModel::commitEdit() {
    std::lock_guard lock(mutex_);
    if (jobs_.programRunning.load() || !data_.isLoaded() || (!editMode_ && !editorOpen_))
        return;
    std::string value = editor_.text;
    std::uint32_t absoluteRow;
    int column;
    if (dataCell(focusRow_, focusColumn_)) {
        absoluteRow = viewStart_ + static_cast<std::uint32_t>(focusRow_ - 1);
        column = focusColumn_;
        rememberFocus();
    } else if (remembered_) {
        // The cell scrolled out of view: its editor text is the snapshot's.
        value = snapshot_.text;
        editor_.text = snapshot_.text;
        absoluteRow = rememberedRow_;
        column = rememberedColumn_;
    } else {
        return;
    }
    const std::uint64_t offset = cellOffset(absoluteRow, column);
    const std::uint64_t length = data_.dataLength();
    std::uint8_t old = 0xFF;
    data_.working().readAt(offset, &old, 1);

    // A text the typing checks let through could still be longer or odd
    // (Enter after a caret move); only its leading hex digits count.
    std::string digits;
    for (char c : value) {
        if (digits.size() == 2 || !hexDigit(c))
            break;
        digits += c;
    }
    if (digits.size() == 1)
        digits.insert(digits.begin(), '0');
    // A cell the user did not type into is never written: after the last
    // byte the editor stands on the cell past the end with its "FF".
    const bool typed = typed_;
    typed_ = false;
    if (!typed || digits.empty() || (digits == hex2(old) && offset < length)) {
        hideEditor();
        status(10);
        changed();
        return;
    }
    const auto byte = static_cast<std::uint8_t>(digitValue(digits[0]) * 16 + digitValue(digits[1]));
    hideEditor();
    data_.writeByte(offset, byte);
    showWrittenData();
    status(11);
}

void HexViewModel::dataWritten() {
    std::lock_guard lock(mutex_);
    showWrittenData();
}

void HexViewModel::showWrittenData() {
    const std::uint32_t chip = chipSize_ ? chipSize_() : 0;
    data_.updateRows(chip);
    setScrollRange();
    panel_.setText(ids::kTextFileChecksum, data_.dataChecksumText());
    data_.updateChipChecksum(chip);
    panel_.setText(ids::kTextChipChecksum, data_.chipChecksumText());
    if (grown_)
        grown_();
    refreshView();
    panel_.enableMenuCommand(ids::kCmdSaveFile);
}

void HexViewModel::toggleEditMode(bool fromMenu) {
    std::lock_guard lock(mutex_);
    if (jobs_.programRunning.load()) {
        panel_.setChecked(ids::kCheckEditMode, editMode_);
        return;
    }
    if (!data_.isLoaded()) {
        panel_.setChecked(ids::kCheckEditMode, editMode_);
        status(4, true, fromMenu);
        return;
    }
    if (!editMode_) {
        editMode_ = true;
        panel_.enableMenuCommand(ids::kCmdFileFill);
        focusMarkDrawn_ = false;
        if (dataCell(focusRow_, focusColumn_)) {
            rememberFocus();
            typed_ = false;
            openEditor(focusRow_, focusColumn_, startText_, 0, 1);
        }
        panel_.setMenuChecked(ids::kCmdEditMode, true);
        status(5);
    } else {
        editMode_ = false;
        panel_.greyMenuCommand(ids::kCmdFileFill);
        focusMarkDrawn_ = true;
        if (dataCell(focusRow_, focusColumn_)) {
            rememberFocus();
            if (cellOffset(rememberedRow_, rememberedColumn_) < data_.dataLength())
                commitEdit();
        }
        // Left open, the editor would go on writing with edit mode off.
        hideEditor();
        focusOwner_ = HexFocusOwner::Grid;
        panel_.setMenuChecked(ids::kCmdEditMode, false);
        status(6);
    }
    panel_.setChecked(ids::kCheckEditMode, editMode_);
    changed();
}

}  // namespace nyra
