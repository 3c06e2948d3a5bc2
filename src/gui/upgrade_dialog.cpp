// SPDX-License-Identifier: GPL-3.0-or-later
#include "upgrade_dialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "labelled_progress_bar.h"
#include "ops/firmware_jobs.h"
#include "panel_binder.h"

namespace nyra::gui {

UpgradeDialog::UpgradeDialog(UpgradeWindow& window, std::function<void(int id)> command,
                             QWidget* parent)
    : QDialog(parent), window_(window) {
    setWindowTitle(QString::fromStdString(window_.title()));
    auto* grid = new QGridLayout(this);
    auto* label = new QLabel(this);
    auto* path = new QLineEdit(this);
    path->setObjectName(QStringLiteral("path"));
    path->setReadOnly(true);
    path->setMinimumWidth(360);
    open_ = new QPushButton(this);
    open_->setObjectName(QStringLiteral("open"));
    open_->setAutoDefault(false);
    progress_ = new LabelledProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    upgrade_ = new QPushButton(this);
    upgrade_->setObjectName(QStringLiteral("upgrade"));
    upgrade_->setAutoDefault(false);
    grid->addWidget(label, 0, 0);
    grid->addWidget(path, 0, 1);
    grid->addWidget(open_, 0, 2);
    grid->addWidget(progress_, 1, 0, 1, 2);
    grid->addWidget(upgrade_, 1, 2);

    binder_ = new PanelBinder(window_.panel(), std::move(command), this);
    binder_->bindLabel(ids::kUpgradeFileLabel, label);
    binder_->bindEdit(ids::kUpgradePath, path);
    binder_->bindButton(ids::kUpgradeOpen, open_);
    binder_->bindButton(ids::kUpgradeStart, upgrade_);
    binder_->bindProgress(ids::kUpgradeProgress, progress_,
                          [this] { return window_.progressBar().position(); });
    binder_->syncAll();
}

void UpgradeDialog::reject() {
    if (window_.closeAllowed())
        QDialog::reject();
}

void UpgradeDialog::closeEvent(QCloseEvent* event) {
    if (window_.closeAllowed()) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
    }
}

}  // namespace nyra::gui
