// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QScrollBar>
#include <atomic>

#include "buffer/hex_view_model.h"

namespace nyra::gui {

class HexGrid;

// Draws the hex view model on the grid, its cell editor and scroll bar, and
// forwards clicks, typing, scrolling and the wheel to it. The model may
// change on the worker (a refresh after identification): changes reach the
// window as one queued redraw from a snapshot.
class HexViewBinder : public QObject {
    Q_OBJECT
public:
    HexViewBinder(HexViewModel& model, HexGrid* grid, QLineEdit* editor, QScrollBar* bar,
                  QObject* parent);
    ~HexViewBinder() override;

    // Applies the model's current look at once (on the window thread).
    void redraw();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void changed();
    void applyEditor(const HexViewSnapshot& view);
    void scrollAction(int action);

    HexViewModel& model_;
    QPointer<HexGrid> grid_;
    // For telling the watched widgets apart in the event filter; never used
    // as widgets there, since events still arrive while they are destroyed.
    const QObject* gridObject_;
    const QObject* editorObject_;
    const QObject* barObject_;
    QPointer<QLineEdit> editor_;
    QPointer<QScrollBar> bar_;
    std::atomic<bool> redrawQueued_{false};
    bool applying_ = false;
    int pressX_ = -1;
    std::uint64_t editorOpening_ = 0;
};

}  // namespace nyra::gui
