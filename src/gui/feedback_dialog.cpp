// SPDX-License-Identifier: GPL-3.0-or-later
#include "feedback_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "net/feedback_form.h"
#include "panel_binder.h"

namespace nyra::gui {

using namespace feedback_ids;

FeedbackDialog::FeedbackDialog(FeedbackForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle(QString::fromStdString(form_.title()));
    auto* grid = new QGridLayout(this);
    const auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto* subjectLabel = label("subjectLabel");
    auto* contentLabel = label("contentLabel");
    auto* contactLabel = label("contactLabel");
    auto* required = label("required");
    auto* subject = new QLineEdit(this);
    subject->setObjectName(QStringLiteral("subject"));
    content_ = new QPlainTextEdit(this);
    content_->setObjectName(QStringLiteral("content"));
    content_->setMinimumSize(360, 160);
    auto* contact = new QLineEdit(this);
    contact->setObjectName(QStringLiteral("contact"));
    auto* sendButton = new QPushButton(this);
    sendButton->setObjectName(QStringLiteral("send"));
    sendButton->setDefault(true);
    auto* cancel = new QPushButton(this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);

    grid->addWidget(subjectLabel, 0, 0);
    grid->addWidget(subject, 0, 1, 1, 2);
    grid->addWidget(contentLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(content_, 1, 1, 1, 2);
    grid->addWidget(contactLabel, 2, 0);
    grid->addWidget(contact, 2, 1, 1, 2);
    grid->addWidget(required, 3, 1);
    grid->addWidget(sendButton, 4, 1, Qt::AlignRight);
    grid->addWidget(cancel, 4, 2);

    binder_ = new PanelBinder(
        form_.panel(),
        [this](int id) {
            if (id == kSend)
                send();
            else if (id == kCancel)
                reject();
        },
        this);
    binder_->bindLabel(kSubjectLabel, subjectLabel);
    binder_->bindLabel(kContentLabel, contentLabel);
    binder_->bindLabel(kContactLabel, contactLabel);
    binder_->bindLabel(kRequired, required);
    binder_->bindEdit(kSubject, subject);
    binder_->bindEdit(kContact, contact);
    binder_->bindButton(kSend, sendButton);
    binder_->bindButton(kCancel, cancel);
    binder_->syncAll();
    content_->setPlainText(QString::fromStdString(form_.panel().text(kContent)));
}

void FeedbackDialog::send() {
    // The message goes out with the line breaks of a mail.
    form_.panel().setText(
        kContent,
        content_->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString());
    form_.press(kSend);
}

}  // namespace nyra::gui
