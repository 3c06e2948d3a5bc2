// SPDX-License-Identifier: GPL-3.0-or-later
#include "hex_view_binder.h"

#include <QMouseEvent>
#include <QThread>
#include <QWheelEvent>

#include "hex_grid.h"

namespace nyra::gui {

namespace {

QColor qt(Rgb colour) {
    return {colour.red, colour.green, colour.blue};
}

}  // namespace

HexViewBinder::HexViewBinder(HexViewModel& model, HexGrid* grid, QLineEdit* editor, QScrollBar* bar,
                             QObject* parent)
    : QObject(parent),
      model_(model),
      grid_(grid),
      gridObject_(grid),
      editorObject_(editor),
      barObject_(bar),
      editor_(editor),
      bar_(bar) {
    model_.setChangeListener([this] { changed(); });
    grid_->installEventFilter(this);
    editor_->installEventFilter(this);
    // A click on the bar takes the focus from the editor, hiding its caret.
    bar_->setFocusPolicy(Qt::ClickFocus);
    bar_->installEventFilter(this);
    connect(grid_, &HexGrid::released, this, [this] {
        const auto [row, column] = grid_->focusCell();
        if (row < 1 || column < 1 || column > 16)
            return;
        const QRect box = grid_->cellRect(row, column);
        model_.setFocusOwner(HexFocusOwner::Grid);
        model_.clickCell(row, column, pressX_ >= box.center().x());
    });
    connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (applying_)
            return;
        model_.setFocusOwner(HexFocusOwner::Editor);
        model_.editorTextChanged(text.toUpper().toStdString(), editor_->cursorPosition());
    });
    connect(bar_, &QScrollBar::actionTriggered, this, [this](int action) { scrollAction(action); });
    redraw();
}

HexViewBinder::~HexViewBinder() {
    model_.setChangeListener({});
}

void HexViewBinder::changed() {
    // On the window thread at once, so the next key finds the editor as the
    // model left it; from the worker one queued redraw covers every change.
    if (QThread::currentThread() == thread()) {
        redraw();
        return;
    }
    if (!redrawQueued_.exchange(true))
        QMetaObject::invokeMethod(this, &HexViewBinder::redraw, Qt::QueuedConnection);
}

void HexViewBinder::redraw() {
    redrawQueued_.store(false);
    if (!grid_ || !editor_ || !bar_)
        return;
    const HexViewSnapshot view = model_.snapshot();
    for (int row = 0; row < hexview::kGridRows; ++row) {
        for (int column = 0; column < hexview::kGridColumns; ++column) {
            const auto i = static_cast<std::size_t>(row * hexview::kGridColumns + column);
            grid_->setCellText(row, column, QString::fromStdString(view.cells[i].text));
            grid_->setCellColours(row, column, qt(view.textColours[i]), qt(view.backgrounds[i]));
        }
    }
    grid_->setFocusCell(view.focusRow, view.focusColumn);
    grid_->setFocusMarkShown(view.focusMarkDrawn);
    applying_ = true;
    bar_->setRange(view.scrollBar.minimum, view.scrollBar.maximum);
    bar_->setPageStep(1);
    bar_->setValue(view.scrollBar.position);
    bar_->setEnabled(view.scrollBar.enabled);
    applyEditor(view);
    applying_ = false;
}

void HexViewBinder::applyEditor(const HexViewSnapshot& view) {
    const HexEditor& e = view.editor;
    if (!e.visible) {
        // The grid takes the keyboard over from an editor that had it or that
        // the view hid for the grid (its byte scrolled out).
        const bool shown = editor_->isVisible();
        const bool hadFocus = editor_->hasFocus();
        editor_->hide();
        if (shown && (hadFocus || view.focusOwner == HexFocusOwner::Grid))
            grid_->setFocus();
        return;
    }
    // Over the whole cell but its lines: the frameless editor needs all of
    // the width for two digits of the grid's font.
    editor_->setGeometry(grid_->cellRect(e.row, e.column).adjusted(1, 1, -1, -1));
    const QString text = QString::fromStdString(e.text);
    if (editor_->text() != text)
        editor_->setText(text);
    editor_->setSelection(e.selectionStart, e.selectionLength);
    editor_->show();
    // Only a new opening takes the focus: the scroll bar keeps it while the
    // view redraws under an open editor.
    if (e.opening != editorOpening_) {
        editorOpening_ = e.opening;
        editor_->setFocus();
    }
}

void HexViewBinder::scrollAction(int action) {
    if (applying_)
        return;
    model_.setFocusOwner(HexFocusOwner::ScrollBar);
    bar_->setFocus(Qt::MouseFocusReason);
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            model_.scroll(HexScroll::LineUp);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            model_.scroll(HexScroll::LineDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            model_.scroll(HexScroll::PageUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            model_.scroll(HexScroll::PageDown);
            break;
        case QAbstractSlider::SliderMove:
            model_.scroll(HexScroll::Thumb, bar_->sliderPosition());
            break;
        default:
            return;
    }
    // The model decides the position; the bar must not run ahead of it.
    bar_->setSliderPosition(model_.snapshot().scrollBar.position);
}

bool HexViewBinder::eventFilter(QObject* watched, QEvent* event) {
    if (watched == gridObject_ && event->type() == QEvent::MouseButtonPress)
        pressX_ = static_cast<QMouseEvent*>(event)->position().toPoint().x();
    if (event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta != 0) {
            model_.setFocusOwner(watched == editorObject_ ? HexFocusOwner::Editor
                                 : watched == barObject_  ? HexFocusOwner::ScrollBar
                                                          : HexFocusOwner::Grid);
            model_.wheel(delta);
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace nyra::gui
