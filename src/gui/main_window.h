// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <map>

#include "window_core.h"

class QAction;
class QMenu;

namespace nyra::gui {

class HexGrid;
class HexViewBinder;
class PanelBinder;

// The main window: every control of the window's table, laid out, bound to
// the Panel by id, and the menu bar built from the menu table. Keys, clicks,
// menu commands and the close button go to the core.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowCore& core, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The widget of a control id, or nullptr.
    QWidget* control(int id) const;
    QAction* menuAction(int id) const;
    QMenu* menu(int id) const;
    HexGrid* hexGrid() const;

    // Shows everything the Panel holds now (after the core filled it).
    void refreshFromPanel();
    // The About dialog: one line of text and an OK button.
    void showAboutDialog(const QString& text);

    static QString objectNameOf(int id);

signals:
    // The window is done: closed with the core's consent, or the exit item.
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void createControls();
    void layOutControls();
    void buildMenus();
    void bindControls();
    // The opening size: the preferred one where the screen has room for it.
    QSize openingSize() const;
    bool handleKey(QKeyEvent* event);
    template <typename T>
    T* as(int id) const {
        return static_cast<T*>(control(id));
    }

    WindowCore& core_;
    PanelBinder* binder_ = nullptr;
    HexViewBinder* hexView_ = nullptr;
    std::map<int, QWidget*> controls_;
    bool exiting_ = false;
};

}  // namespace nyra::gui
