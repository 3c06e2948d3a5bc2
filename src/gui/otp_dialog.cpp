// SPDX-License-Identifier: GPL-3.0-or-later
#include "otp_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "otp/otp_window.h"
#include "panel_binder.h"

namespace nyra::gui {

using namespace otp_ids;

OtpDialog::OtpDialog(OtpWindow& window, QWidget* parent) : QDialog(parent), window_(window) {
    setWindowTitle(QString::fromStdString(window_.title()));
    auto* grid = new QGridLayout(this);
    const auto button = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    auto* detect = button("detect");
    auto* path = new QLineEdit(this);
    path->setObjectName(QStringLiteral("path"));
    path->setReadOnly(true);
    path->setMinimumWidth(320);
    auto* open = button("open");
    auto* program = button("program");
    auto* lock = new QCheckBox(this);
    lock->setObjectName(QStringLiteral("lock"));
    log_ = new QPlainTextEdit(this);
    log_->setObjectName(QStringLiteral("log"));
    log_->setMinimumHeight(160);
    auto* read = button("read");
    auto* save = button("save");
    auto* verify = button("verify");
    auto* blank = button("blank");

    grid->addWidget(detect, 0, 0);
    grid->addWidget(path, 0, 1, 1, 3);
    grid->addWidget(open, 0, 4);
    grid->addWidget(program, 1, 0);
    grid->addWidget(lock, 1, 1, 1, 4);
    grid->addWidget(log_, 2, 0, 1, 5);
    grid->addWidget(read, 3, 1);
    grid->addWidget(save, 3, 2);
    grid->addWidget(verify, 3, 3);
    grid->addWidget(blank, 3, 4);

    binder_ = new PanelBinder(
        window_.panel(), [this](int id) { window_.press(id); }, this);
    for (const auto& [id, widget] : {std::pair<int, QPushButton*>{kDetect, detect},
                                     {kOpen, open},
                                     {kProgram, program},
                                     {kRead, read},
                                     {kSave, save},
                                     {kVerify, verify},
                                     {kBlank, blank}})
        binder_->bindButton(id, widget);
    binder_->bindCheckBox(kLock, lock);
    binder_->bindEdit(kFile, path);
    binder_->bindText(kLog, log_);
    binder_->syncAll();
}

}  // namespace nyra::gui
