// SPDX-License-Identifier: GPL-3.0-or-later
#include "find_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ops/find_job.h"
#include "panel_binder.h"

namespace nyra::gui {

FindDialog::FindDialog(FindWindow& window, QWidget* parent) : QDialog(parent), window_(window) {
    setWindowTitle(QString::fromStdString(window_.title()));
    auto* grid = new QGridLayout(this);
    auto* label = new QLabel(this);
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("text"));
    text_->setMinimumWidth(280);
    hex_ = new QRadioButton(this);
    characters_ = new QRadioButton(this);
    action_ = new QPushButton(this);
    action_->setObjectName(QStringLiteral("action"));
    action_->setDefault(true);  // Enter searches
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    auto* modes = new QHBoxLayout;
    modes->addWidget(hex_);
    modes->addWidget(characters_);
    modes->addStretch(1);
    grid->addWidget(label, 0, 0);
    grid->addWidget(text_, 0, 1);
    grid->addWidget(action_, 0, 2);
    grid->addLayout(modes, 1, 1);
    grid->addWidget(cancel_, 1, 2);

    binder_ = new PanelBinder(
        window_.panel(), [this](int id) { command(id); }, this);
    binder_->bindLabel(ids::kFindLabel, label);
    binder_->bindEdit(ids::kFindText, text_);
    binder_->bindCheckBox(ids::kFindHexMode, hex_);
    binder_->bindCheckBox(ids::kFindCharacterMode, characters_);
    binder_->bindButton(ids::kFindAction, action_);
    binder_->bindButton(ids::kFindCancel, cancel_);
    binder_->syncAll();
}

void FindDialog::command(int id) {
    switch (id) {
        case ids::kFindHexMode:
        case ids::kFindCharacterMode:
            // The pair are one choice: the other one's mark follows.
            window_.setHexMode(id == ids::kFindHexMode);
            return;
        case ids::kFindAction:
            window_.search();
            return;
        case ids::kFindCancel:
            reject();
            return;
        default:
            return;
    }
}

void FindDialog::reject() {
    window_.cancel();
    QDialog::reject();
}

}  // namespace nyra::gui
