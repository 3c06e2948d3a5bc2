// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace nyra {
class FindWindow;
}

namespace nyra::gui {

class PanelBinder;

// The find window: shows the find window's Panel; its action button (also
// Enter) searches or goes on to the next match, and only cancel closes it.
class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(FindWindow& window, QWidget* parent = nullptr);

    QLineEdit* textField() const { return text_; }
    QPushButton* actionButton() const { return action_; }
    QRadioButton* characterMode() const { return characters_; }

    void reject() override;

private:
    void command(int id);

    FindWindow& window_;
    PanelBinder* binder_;
    QLineEdit* text_;
    QRadioButton* hex_;
    QRadioButton* characters_;
    QPushButton* action_;
    QPushButton* cancel_;
};

}  // namespace nyra::gui
