// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "ui/log_model.h"
#include "ui/panel.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QTextEdit;
class QWidget;

namespace nyra::gui {

class LabelledProgressBar;

// Keeps widgets showing the Panel's state by id, and turns what the person
// does into Panel changes and commands. Changes made on another thread are
// applied on the window thread; every apply reads the Panel afresh, so a
// burst of changes ends with the latest state whatever the order.
class PanelBinder : public QObject {
    Q_OBJECT
public:
    using CommandSink = std::function<void(int id)>;
    using Picture = std::function<void(QAbstractButton*, const ControlState&)>;

    PanelBinder(Panel& panel, CommandSink command, QObject* parent = nullptr);
    ~PanelBinder() override;

    // Clicks forward the command.
    void bindButton(int id, QAbstractButton* button);
    // A click stores the new check state in the Panel, then forwards the command.
    void bindCheckBox(int id, QAbstractButton* box);
    // A picture button draws itself from its state; clicks forward the command.
    void bindPictureButton(int id, QAbstractButton* button, Picture picture);
    // A selection change stores the index in the Panel, then forwards the command.
    void bindList(int id, QComboBox* list);
    void bindLabel(int id, QLabel* label);
    // User edits store the text in the Panel, then forward the command.
    void bindEdit(int id, QLineEdit* edit);
    void bindGroup(int id, QGroupBox* group);
    // The view shows the model's lines; the control's own text is not used.
    void bindLog(int id, QTextEdit* log, LogModel& model);
    // Text is the label; position() is read whenever the label or the
    // visibility changes.
    void bindProgress(int id, LabelledProgressBar* bar, std::function<int()> position);
    // White on red while alert() says so.
    void bindStatus(int id, QLabel* label, std::function<bool()> alert);
    // A read-only multi-line text: the control's text, its line breaks "\r\n".
    void bindText(int id, QPlainTextEdit* text);
    // Enabled and visible only.
    void bindWidget(int id, QWidget* widget);
    // The window's title follows the text of id; nothing else of it is bound.
    void bindWindowTitle(int id, QWidget* window);

    void bindMenu(int id, QMenu* menu);
    // Triggering forwards the command unless told not to; the check mark
    // always shows the Panel's.
    void bindMenuItem(int id, QAction* action, bool forwardTrigger = true);
    // Called after a menu item's check mark changed (e.g. to swap its image).
    std::function<void(int id, QAction* action, bool checked)> onMenuChecked;

    // Applies every bound id once (after the Panel was filled without us).
    void syncAll();

    QWidget* widget(int id) const;
    QAction* menuAction(int id) const;
    QMenu* menu(int id) const;

    static QColor alertText() { return {255, 255, 255}; }
    static QColor alertBackground() { return {255, 0, 0}; }
    static QColor logText() { return {0, 83, 242}; }

private:
    enum class Kind {
        Button,
        CheckBox,
        Picture,
        List,
        Label,
        Edit,
        Group,
        Log,
        Text,
        Progress,
        Status,
        Widget,
        Title,
    };
    struct ControlBinding {
        Kind kind;
        QPointer<QWidget> widget;
        Picture picture;
        std::function<bool()> alert;
        std::function<int()> position;
    };

    void apply(const PanelChange& change);
    void applyControl(int id, PanelProperty property);
    void applyMenuItem(int id);
    void addControl(int id, Kind kind, QWidget* widget);
    void updateStatusColours(QLabel* label, bool alert);
    void forward(int id);

    Panel& panel_;
    CommandSink command_;
    Panel::Token token_ = 0;
    std::map<int, ControlBinding> controls_;
    std::map<int, QPointer<QAction>> actions_;
    std::map<int, QPointer<QMenu>> menus_;
    int syncing_ = 0;  // > 0 while widgets are set from the Panel
};

}  // namespace nyra::gui
