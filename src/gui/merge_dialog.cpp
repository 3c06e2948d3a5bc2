// SPDX-License-Identifier: GPL-3.0-or-later
#include "merge_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "tools/file_merge.h"
#include "ui/ids.h"

namespace nyra::gui {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Buttons other than OK must not take Enter from it.
QPushButton* button(const std::string& caption, const char* name, int id, QWidget* parent) {
    auto* b = new QPushButton(qs(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setProperty("controlId", id);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

MergeDialog::MergeDialog(FileMergeTool& tool, QWidget* parent) : QDialog(parent), tool_(tool) {
    setWindowTitle(qs(tool_.title()));
    auto* layout = new QVBoxLayout(this);

    auto* listRow = new QHBoxLayout;
    files_ = new QListWidget(this);
    files_->setObjectName(QStringLiteral("files"));
    files_->setProperty("controlId", ids::kMergeList);
    files_->setSelectionMode(QAbstractItemView::MultiSelection);
    files_->setMinimumSize(420, 180);
    listRow->addWidget(files_, 1);
    auto* listButtons = new QVBoxLayout;
    auto* add = button(tool_.addCaption(), "add", ids::kMergeAdd, this);
    auto* remove = button(tool_.deleteCaption(), "delete", ids::kMergeDelete, this);
    listButtons->addWidget(add);
    listButtons->addWidget(remove);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    layout->addLayout(listRow);

    auto* grid = new QGridLayout;
    auto* chooseFolder =
        button(tool_.folderCaption(), "chooseFolder", ids::kMergeFolderButton, this);
    grid->addWidget(chooseFolder, 0, 0);
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("folder"));
    folder_->setProperty("controlId", ids::kMergeFolder);
    folder_->setReadOnly(true);
    grid->addWidget(folder_, 0, 1);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setProperty("controlId", ids::kMergeFileName);
    auto* nameLabel = new QLabel(qs(tool_.fileNameLabel()), this);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    nameLabel->setBuddy(name_);
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(name_, 1, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(qs(tool_.okCaption()), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);  // Enter merges
    auto* cancel = button(tool_.cancelCaption(), "cancel", 2, this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] {
        tool_.addFiles();
        showFields();
    });
    connect(remove, &QPushButton::clicked, this, &MergeDialog::deleteSelected);
    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        tool_.chooseFolder();
        showFields();
    });
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { tool_.setFileName(text.toStdString()); });
    connect(ok, &QPushButton::clicked, this, &MergeDialog::okPressed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    showFields();
}

void MergeDialog::showFields() {
    files_->clear();
    for (const std::string& path : tool_.files())
        files_->addItem(qs(path));
    folder_->setText(qs(tool_.outputFolder()));
    if (name_->text().toStdString() != tool_.fileName())
        name_->setText(qs(tool_.fileName()));
}

void MergeDialog::deleteSelected() {
    std::vector<std::size_t> rows;
    for (int row = 0; row < files_->count(); ++row) {
        if (files_->item(row)->isSelected())
            rows.push_back(static_cast<std::size_t>(row));
    }
    tool_.removeRows(rows);
    showFields();
}

void MergeDialog::okPressed() {
    tool_.setFileName(name_->text().toStdString());
    tool_.merge();
    showFields();
}

}  // namespace nyra::gui
