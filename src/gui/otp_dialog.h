// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace nyra {
class OtpWindow;
}

namespace nyra::gui {

class PanelBinder;

// The OTP window: shows the OTP window's Panel and forwards its buttons; the
// OTP jobs fill its log while it stays open.
class OtpDialog : public QDialog {
    Q_OBJECT
public:
    explicit OtpDialog(OtpWindow& window, QWidget* parent = nullptr);
    QPlainTextEdit* log() const { return log_; }

private:
    OtpWindow& window_;
    PanelBinder* binder_;
    QPlainTextEdit* log_;
};

}  // namespace nyra::gui
