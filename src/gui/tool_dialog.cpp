// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel_binder.h"
#include "ui/ids.h"
#include "ui/tool_fields.h"

namespace nyra::gui {

int coreCaret(const QLineEdit* edit) {
    return static_cast<int>(edit->text().left(edit->cursorPosition()).toUtf8().size());
}

ToolDialog::ToolDialog(Panel& panel, FieldChecks& checks, const std::string& title, QWidget* parent)
    : QDialog(parent), checks_(checks) {
    setWindowTitle(QString::fromStdString(title));
    auto* layout = new QVBoxLayout(this);
    grid_ = new QGridLayout;
    layout->addLayout(grid_);
    binder_ = new PanelBinder(
        panel, [this](int id) { command(id); }, this);
}

QLineEdit* ToolDialog::field(int id) const {
    return qobject_cast<QLineEdit*>(binder_->widget(id));
}

QLineEdit* ToolDialog::addField(int labelId, int fieldId) {
    auto* label = new QLabel(this);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("field%1").arg(fieldId));
    edit->setMinimumWidth(160);
    if (const ToolField* f = checks_.field(fieldId))
        edit->setMaxLength(f->maxLength);
    grid_->addWidget(label, rows_, 0);
    grid_->addWidget(edit, rows_, 1);
    ++rows_;
    binder_->bindLabel(labelId, label);
    binder_->bindEdit(fieldId, edit);
    return edit;
}

QLabel* ToolDialog::addStatic(int labelId, int staticId) {
    auto* label = new QLabel(this);
    auto* value = new QLabel(this);
    value->setObjectName(QStringLiteral("static%1").arg(staticId));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid_->addWidget(label, rows_, 0);
    grid_->addWidget(value, rows_, 1);
    ++rows_;
    binder_->bindLabel(labelId, label);
    binder_->bindLabel(staticId, value);
    return value;
}

QCheckBox* ToolDialog::addCheckBox(int id) {
    auto* box = new QCheckBox(this);
    grid_->addWidget(box, rows_++, 1);
    binder_->bindCheckBox(id, box);
    return box;
}

void ToolDialog::addButtons(int actionId) {
    actionId_ = actionId;
    action_ = new QPushButton(this);
    action_->setObjectName(QStringLiteral("action"));
    action_->setDefault(true);  // Enter acts
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(action_);
    buttons->addWidget(cancel_);
    static_cast<QVBoxLayout*>(layout())->addLayout(buttons);
    binder_->bindButton(actionId, action_);
    binder_->bindButton(ids::kToolCancel, cancel_);
}

void ToolDialog::finish() {
    binder_->syncAll();
}

void ToolDialog::command(int id) {
    if (QLineEdit* edit = field(id); edit && checks_.field(id)) {
        checks_.changed(id, coreCaret(edit), [edit](int caret) { edit->setCursorPosition(caret); });
    } else if (id == actionId_) {
        action();
    } else if (id == ids::kToolCancel) {
        reject();
    } else {
        otherCommand(id);
    }
}

}  // namespace nyra::gui
