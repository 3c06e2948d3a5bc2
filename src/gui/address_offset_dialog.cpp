// SPDX-License-Identifier: GPL-3.0-or-later
#include "address_offset_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tools/address_offset.h"

namespace nyra::gui {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

AddressOffsetDialog::AddressOffsetDialog(AddressOffsetTool& tool, QWidget* parent)
    : QDialog(parent), tool_(tool) {
    setWindowTitle(qs(tool_.title()));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(qs(tool_.offsetLabel()), this), 0, 0);
    offset_ = new QLineEdit(this);
    offset_->setObjectName(QStringLiteral("offset"));
    grid->addWidget(offset_, 0, 1);
    auto* note = new QLabel(qs(tool_.note()), this);
    grid->addWidget(note, 1, 1);
    grid->addWidget(new QLabel(qs(tool_.fileLabel()), this), 2, 0);
    auto* fileLine = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("path"));
    path_->setMinimumWidth(320);
    fileLine->addWidget(path_, 1);
    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(QStringLiteral("browse"));
    browse_->setAutoDefault(false);
    fileLine->addWidget(browse_);
    grid->addLayout(fileLine, 2, 1);
    layout->addLayout(grid);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    layout->addWidget(status_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok_ = new QPushButton(qs(tool_.okCaption()), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);  // Enter loads
    auto* cancel = new QPushButton(qs(tool_.cancelCaption()), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(offset_, &QLineEdit::textEdited, this, &AddressOffsetDialog::offsetEdited);
    connect(path_, &QLineEdit::textEdited, this,
            [this](const QString& text) { tool_.setPath(text.toStdString()); });
    connect(browse_, &QPushButton::clicked, this, [this] {
        tool_.browse();
        showFields();
    });
    connect(ok_, &QPushButton::clicked, this, &AddressOffsetDialog::okPressed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    showFields();
}

void AddressOffsetDialog::showFields() {
    path_->setText(qs(tool_.path()));
    offset_->setText(qs(tool_.offsetText()));
    offset_->setCursorPosition(static_cast<int>(tool_.offsetCaret()));
    offset_->setReadOnly(tool_.offsetReadOnly());
    status_->setText(qs(tool_.status()));
}

void AddressOffsetDialog::offsetEdited(const QString& text) {
    // The caret counts bytes in the core; digits are one byte each, and
    // anything else is taken out before the count matters.
    const std::string typed = text.toStdString();
    const int caret = offset_->cursorPosition();
    const std::size_t byteCaret = static_cast<std::size_t>(text.left(caret).toStdString().size());
    if (!tool_.offsetEdited(typed, byteCaret) || tool_.offsetText() != typed) {
        offset_->setText(qs(tool_.offsetText()));
        offset_->setCursorPosition(static_cast<int>(tool_.offsetCaret()));
    }
}

void AddressOffsetDialog::okPressed() {
    tool_.setPath(path_->text().toStdString());
    tool_.load();
    showFields();
    if (tool_.accepted())
        accept();
}

}  // namespace nyra::gui
