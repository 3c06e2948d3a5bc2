// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel_binder.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QThread>
#include <algorithm>

#include "labelled_progress_bar.h"
#include "log_view_feed.h"

namespace nyra::gui {

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The core writes Windows line ends; the view wants plain ones.
class SyncGuard {
public:
    explicit SyncGuard(int& depth) : depth_(depth) { ++depth_; }
    ~SyncGuard() { --depth_; }
    SyncGuard(const SyncGuard&) = delete;
    SyncGuard& operator=(const SyncGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

PanelBinder::PanelBinder(Panel& panel, CommandSink command, QObject* parent)
    : QObject(parent), panel_(panel), command_(std::move(command)) {
    token_ = panel_.subscribe([this](const PanelChange& change) {
        if (QThread::currentThread() == thread()) {
            apply(change);
        } else {
            QMetaObject::invokeMethod(
                this, [this, change] { apply(change); }, Qt::QueuedConnection);
        }
    });
}

PanelBinder::~PanelBinder() {
    panel_.unsubscribe(token_);
}

void PanelBinder::addControl(int id, Kind kind, QWidget* widget) {
    controls_[id] = ControlBinding{kind, widget, {}, {}, {}};
}

void PanelBinder::forward(int id) {
    if (syncing_ == 0 && command_)
        command_(id);
}

void PanelBinder::bindButton(int id, QAbstractButton* button) {
    addControl(id, Kind::Button, button);
    connect(button, &QAbstractButton::clicked, this, [this, id] { forward(id); });
}

void PanelBinder::bindCheckBox(int id, QAbstractButton* box) {
    addControl(id, Kind::CheckBox, box);
    connect(box, &QAbstractButton::clicked, this, [this, id](bool checked) {
        if (syncing_ > 0)
            return;
        panel_.setChecked(id, checked);
        forward(id);
    });
}

void PanelBinder::bindPictureButton(int id, QAbstractButton* button, Picture picture) {
    addControl(id, Kind::Picture, button);
    controls_[id].picture = std::move(picture);
    // Drawn at once: a picture shows its default before the Panel knows it.
    controls_[id].picture(button, panel_.control(id));
    connect(button, &QAbstractButton::clicked, this, [this, id] { forward(id); });
}

void PanelBinder::bindList(int id, QComboBox* list) {
    addControl(id, Kind::List, list);
    connect(list, &QComboBox::currentIndexChanged, this, [this, id](int index) {
        if (syncing_ > 0)
            return;
        panel_.setCurrentIndex(id, index);
        forward(id);
    });
}

void PanelBinder::bindLabel(int id, QLabel* label) {
    addControl(id, Kind::Label, label);
}

void PanelBinder::bindEdit(int id, QLineEdit* edit) {
    addControl(id, Kind::Edit, edit);
    connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
        if (syncing_ > 0)
            return;
        panel_.setText(id, text.toStdString());
        forward(id);
    });
}

void PanelBinder::bindGroup(int id, QGroupBox* group) {
    addControl(id, Kind::Group, group);
}

void PanelBinder::bindLog(int id, QTextEdit* log, LogModel& model) {
    addControl(id, Kind::Log, log);
    new LogViewFeed(model, log, this);
    QPalette palette = log->palette();
    palette.setColor(QPalette::Text, logText());
    log->setPalette(palette);
    log->setTextColor(logText());
}

void PanelBinder::bindProgress(int id, LabelledProgressBar* bar, std::function<int()> position) {
    addControl(id, Kind::Progress, bar);
    controls_[id].position = std::move(position);
}

void PanelBinder::bindStatus(int id, QLabel* label, std::function<bool()> alert) {
    addControl(id, Kind::Status, label);
    controls_[id].alert = std::move(alert);
}

void PanelBinder::bindWindowTitle(int id, QWidget* window) {
    addControl(id, Kind::Title, window);
}

void PanelBinder::bindText(int id, QPlainTextEdit* text) {
    text->setReadOnly(true);
    addControl(id, Kind::Text, text);
}

void PanelBinder::bindWidget(int id, QWidget* widget) {
    addControl(id, Kind::Widget, widget);
}

void PanelBinder::bindMenu(int id, QMenu* menu) {
    menus_[id] = menu;
}

void PanelBinder::bindMenuItem(int id, QAction* action, bool forwardTrigger) {
    actions_[id] = action;
    if (!forwardTrigger)
        return;
    connect(action, &QAction::triggered, this, [this, id, action] {
        if (syncing_ > 0)
            return;
        forward(id);
        // Qt flips a checkable item by itself; only the Panel decides.
        if (action->isCheckable())
            applyMenuItem(id);
    });
}

QWidget* PanelBinder::widget(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second.widget.data();
}

QAction* PanelBinder::menuAction(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second.data();
}

QMenu* PanelBinder::menu(int id) const {
    const auto found = menus_.find(id);
    return found == menus_.end() ? nullptr : found->second.data();
}

void PanelBinder::syncAll() {
    for (const auto& [id, binding] : controls_) {
        if (!panel_.hasControl(id))
            continue;
        for (PanelProperty property :
             {PanelProperty::Enabled, PanelProperty::Visible, PanelProperty::Items,
              PanelProperty::CurrentIndex, PanelProperty::Text, PanelProperty::Checked}) {
            applyControl(id, property);
        }
    }
    for (const auto& entry : actions_)
        applyMenuItem(entry.first);
    for (const auto& entry : menus_)
        applyMenuItem(entry.first);
}

void PanelBinder::apply(const PanelChange& change) {
    if (change.target == PanelChange::Target::MenuItem) {
        applyMenuItem(change.id);
    } else {
        applyControl(change.id, change.property);
    }
}

void PanelBinder::applyMenuItem(int id) {
    const std::optional<MenuItemState> state = panel_.menuItem(id);
    if (!state)
        return;
    SyncGuard guard(syncing_);
    if (QMenu* popup = menu(id)) {
        popup->setTitle(qt(state->caption));
        popup->menuAction()->setEnabled(!state->greyed);
    }
    if (QAction* action = menuAction(id)) {
        action->setText(qt(state->caption));
        action->setEnabled(!state->greyed);
        if (action->isCheckable() && action->isChecked() != state->checked) {
            action->setChecked(state->checked);
        }
        if (onMenuChecked)
            onMenuChecked(id, action, state->checked);
    }
}

void PanelBinder::applyControl(int id, PanelProperty property) {
    const auto found = controls_.find(id);
    if (found == controls_.end() || !found->second.widget)
        return;
    const ControlBinding& binding = found->second;
    QWidget* widget = binding.widget.data();
    const ControlState state = panel_.control(id);
    SyncGuard guard(syncing_);

    if (binding.kind == Kind::Title) {
        if (property == PanelProperty::Text && !state.text.empty())
            widget->setWindowTitle(qt(state.text));
        return;
    }
    switch (property) {
        case PanelProperty::Enabled:
            widget->setEnabled(state.enabled);
            return;
        case PanelProperty::Visible:
            widget->setVisible(state.visible);
            if (binding.kind == Kind::Progress)
                applyControl(id, PanelProperty::Text);
            return;
        default:
            break;
    }

    switch (binding.kind) {
        case Kind::Button:
        case Kind::CheckBox: {
            auto* button = static_cast<QAbstractButton*>(widget);
            if (property == PanelProperty::Text)
                button->setText(qt(state.text));
            if (property == PanelProperty::Checked && button->isCheckable()) {
                button->setChecked(state.checked);
            }
            return;
        }
        case Kind::Picture:
            if (binding.picture)
                binding.picture(static_cast<QAbstractButton*>(widget), state);
            return;
        case Kind::List: {
            auto* list = static_cast<QComboBox*>(widget);
            if (property == PanelProperty::Items) {
                list->clear();
                for (const std::string& item : state.items)
                    list->addItem(qt(item));
            }
            if (property == PanelProperty::Items || property == PanelProperty::CurrentIndex) {
                list->setCurrentIndex(state.currentIndex);
            }
            return;
        }
        case Kind::Label:
            if (property == PanelProperty::Text)
                static_cast<QLabel*>(widget)->setText(qt(state.text));
            return;
        case Kind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            if (property == PanelProperty::Text && edit->text() != qt(state.text)) {
                edit->setText(qt(state.text));
            }
            return;
        }
        case Kind::Group:
            if (property == PanelProperty::Text) {
                static_cast<QGroupBox*>(widget)->setTitle(qt(state.text));
            }
            return;
        case Kind::Log:
            return;  // its lines come from the log model
        case Kind::Text:
            if (property == PanelProperty::Text) {
                auto* text = static_cast<QPlainTextEdit*>(widget);
                text->setPlainText(
                    qt(state.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
                text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
            }
            return;
        case Kind::Progress:
            if (property == PanelProperty::Text) {
                static_cast<LabelledProgressBar*>(widget)->setPositionAndLabel(
                    binding.position ? binding.position() : 0, qt(state.text));
            }
            return;
        case Kind::Status: {
            auto* label = static_cast<QLabel*>(widget);
            if (property == PanelProperty::Text)
                label->setText(qt(state.text));
            // The kind is read whenever the text or the alert mark changes.
            if (property == PanelProperty::Text || property == PanelProperty::Checked) {
                updateStatusColours(label, binding.alert && binding.alert());
            }
            return;
        }
        case Kind::Widget:
        case Kind::Title:
            return;
    }
}

// The label's own style sheet wins over any skin.
void PanelBinder::updateStatusColours(QLabel* label, bool alert) {
    label->setStyleSheet(alert ? QStringLiteral("QLabel { color: %1; background-color: %2; }")
                                     .arg(alertText().name(), alertBackground().name())
                               : QString());
    label->setProperty("alert", alert);
}

}  // namespace nyra::gui
