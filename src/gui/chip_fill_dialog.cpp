// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip_fill_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ops/chip_fill_job.h"
#include "panel_binder.h"
#include "tool_dialog.h"

namespace nyra::gui {

using namespace ids;

ChipFillDialog::ChipFillDialog(ChipFillWindow& window, QWidget* parent)
    : QDialog(parent), window_(window) {
    setWindowTitle(QString::fromStdString(window_.title()));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto* addressLabel = new QLabel(this);
    auto* lengthLabel = new QLabel(this);
    auto* dataLabel = new QLabel(this);
    QLineEdit* address = addField(kChipFillAddress, "address");
    QLineEdit* length = addField(kChipFillLength, "length");
    QLineEdit* byte = addField(kChipFillByte, "byte");
    QLineEdit* word = addField(kChipFillWord, "word");
    // Only one of the two data fields is shown, in the same place.
    auto* data = new QHBoxLayout;
    data->addWidget(byte);
    data->addWidget(word);
    grid->addWidget(addressLabel, 0, 0);
    grid->addWidget(address, 0, 1);
    grid->addWidget(lengthLabel, 1, 0);
    grid->addWidget(length, 1, 1);
    grid->addWidget(dataLabel, 2, 0);
    grid->addLayout(data, 2, 1);
    layout->addLayout(grid);

    fileMode_ = new QCheckBox(this);
    fileMode_->setObjectName(QStringLiteral("fileMode"));
    layout->addWidget(fileMode_);
    auto* fileLine = new QHBoxLayout;
    auto* path = new QLineEdit(this);
    path->setObjectName(QStringLiteral("path"));
    path->setMinimumWidth(300);
    browse_ = new QPushButton(this);
    browse_->setObjectName(QStringLiteral("browse"));
    browse_->setAutoDefault(false);
    fileLine->addWidget(path, 1);
    fileLine->addWidget(browse_);
    layout->addLayout(fileLine);

    auto* note = new QLabel(this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* statusLine = new QHBoxLayout;
    auto* statusLabel = new QLabel(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setMinimumWidth(200);
    statusLine->addWidget(statusLabel);
    statusLine->addWidget(status_, 1);
    layout->addLayout(statusLine);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    action_ = new QPushButton(this);
    action_->setObjectName(QStringLiteral("action"));
    action_->setDefault(true);  // Enter fills
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    buttons->addWidget(action_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    binder_ = new PanelBinder(
        window_.panel(), [this](int id) { command(id); }, this);
    binder_->bindLabel(kChipFillAddressLabel, addressLabel);
    binder_->bindLabel(kChipFillLengthLabel, lengthLabel);
    binder_->bindLabel(kChipFillDataLabel, dataLabel);
    binder_->bindLabel(kChipFillNote, note);
    binder_->bindLabel(kChipFillStatusLabel, statusLabel);
    binder_->bindLabel(kChipFillStatus, status_);
    for (const auto& [id, edit] : fields_)
        binder_->bindEdit(id, edit);
    binder_->bindEdit(kChipFillPath, path);
    binder_->bindCheckBox(kChipFillFileMode, fileMode_);
    binder_->bindButton(kChipFillBrowse, browse_);
    binder_->bindButton(kChipFillAction, action_);
    binder_->bindButton(kChipFillCancel, cancel_);
    binder_->syncAll();
}

QLineEdit* ChipFillDialog::addField(int id, const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    if (const ToolField* field = window_.field(id))
        edit->setMaxLength(field->maxLength);
    fields_[id] = edit;
    return edit;
}

QLineEdit* ChipFillDialog::field(int id) const {
    const auto it = fields_.find(id);
    return it == fields_.end() ? nullptr : it->second;
}

void ChipFillDialog::command(int id) {
    if (QLineEdit* edit = field(id)) {
        window_.fieldChanged(id, coreCaret(edit), [edit](int at) { edit->setCursorPosition(at); });
        return;
    }
    switch (id) {
        case kChipFillFileMode:
            window_.setFileMode(window_.panel().checked(kChipFillFileMode));
            return;
        case kChipFillBrowse:
            window_.browse();
            return;
        case kChipFillAction:
            window_.fill();
            return;
        case kChipFillCancel:
            reject();
            return;
        default:
            return;
    }
}

void ChipFillDialog::reject() {
    if (window_.closeAllowed())
        QDialog::reject();
}

void ChipFillDialog::closeEvent(QCloseEvent* event) {
    if (window_.closeAllowed()) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
    }
}

}  // namespace nyra::gui
