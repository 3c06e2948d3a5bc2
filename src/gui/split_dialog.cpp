// SPDX-License-Identifier: GPL-3.0-or-later
#include "split_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tools/file_split.h"
#include "ui/ids.h"

namespace nyra::gui {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

SplitDialog::SplitDialog(FileSplitTool& tool, QWidget* parent) : QDialog(parent), tool_(tool) {
    setWindowTitle(qs(tool_.title()));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;

    source_ = new QLineEdit(this);
    source_->setObjectName(QStringLiteral("source"));
    source_->setProperty("controlId", ids::kSplitSource);
    source_->setReadOnly(true);
    source_->setMinimumWidth(360);
    auto* sourceLabel = new QLabel(qs(tool_.sourceLabel()), this);
    sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    sourceLabel->setBuddy(source_);
    grid->addWidget(sourceLabel, 0, 0);
    grid->addWidget(source_, 0, 1);
    auto* open = new QPushButton(qs(tool_.openCaption()), this);
    open->setObjectName(QStringLiteral("open"));
    open->setProperty("controlId", ids::kSplitOpen);
    open->setAutoDefault(false);
    grid->addWidget(open, 0, 2);

    auto* label = new QLabel(qs(tool_.pointsLabel()), this);
    label->setProperty("controlId", ids::kSplitPointsLabel);
    grid->addWidget(label, 1, 0);
    points_ = new QLineEdit(this);
    points_->setObjectName(QStringLiteral("points"));
    points_->setProperty("controlId", ids::kSplitPoints);
    label->setBuddy(points_);
    grid->addWidget(points_, 1, 1, 1, 2);
    auto* example = new QLabel(qs(tool_.example()), this);
    example->setObjectName(QStringLiteral("example"));
    example->setProperty("controlId", ids::kSplitExample);
    example->setWordWrap(true);
    grid->addWidget(example, 2, 1, 1, 2);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(qs(tool_.okCaption()), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);  // Enter splits
    auto* cancel = new QPushButton(qs(tool_.cancelCaption()), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(open, &QPushButton::clicked, this, [this] {
        tool_.browse();
        showFields();
    });
    connect(points_, &QLineEdit::textEdited, this,
            [this](const QString& text) { tool_.setPointsText(text.toStdString()); });
    connect(ok, &QPushButton::clicked, this, &SplitDialog::okPressed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    showFields();
}

void SplitDialog::showFields() {
    source_->setText(qs(tool_.sourcePath()));
    if (points_->text().toStdString() != tool_.pointsText())
        points_->setText(qs(tool_.pointsText()));
}

void SplitDialog::okPressed() {
    tool_.setPointsText(points_->text().toStdString());
    tool_.split();
    // Full-width commas have become commas.
    showFields();
}

}  // namespace nyra::gui
