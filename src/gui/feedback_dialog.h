// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace nyra {
class FeedbackForm;
}

namespace nyra::gui {

class PanelBinder;

// The feedback form: subject, message and contact, Send and Cancel. The
// mail goes out on a thread of its own; the form stays open.
class FeedbackDialog : public QDialog {
    Q_OBJECT
public:
    explicit FeedbackDialog(FeedbackForm& form, QWidget* parent = nullptr);
    QPlainTextEdit* content() const { return content_; }

private:
    void send();

    FeedbackForm& form_;
    PanelBinder* binder_;
    QPlainTextEdit* content_;
};

}  // namespace nyra::gui
