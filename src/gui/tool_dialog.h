// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nyra {
class FieldChecks;
class Panel;
}  // namespace nyra

namespace nyra::gui {

class PanelBinder;

// The caret of an edit as the core counts it: in bytes of the UTF-8 text.
// What the checks keep is ASCII, so the caret they put back is a character
// position too.
int coreCaret(const QLineEdit* edit);

// The frame of the small buffer tools: rows of a label and a field, an
// action button that Enter presses and that never closes the window, and
// the cancel button (control 2), which alone closes it. The number fields
// go through their checks on every change.
class ToolDialog : public QDialog {
    Q_OBJECT
public:
    QLineEdit* field(int id) const;
    QPushButton* actionButton() const { return action_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    ToolDialog(Panel& panel, FieldChecks& checks, const std::string& title, QWidget* parent);

    QLineEdit* addField(int labelId, int fieldId);
    QLabel* addStatic(int labelId, int staticId);
    QCheckBox* addCheckBox(int id);
    void addButtons(int actionId);
    // Shows the Panel's state once the widgets are bound.
    void finish();

    virtual void action() = 0;
    // Commands other than the fields, the action and cancel.
    virtual void otherCommand(int id) { (void)id; }

    PanelBinder* binder() const { return binder_; }
    QGridLayout* grid() const { return grid_; }

private:
    void command(int id);

    FieldChecks& checks_;
    PanelBinder* binder_;
    QGridLayout* grid_;
    QPushButton* action_ = nullptr;
    QPushButton* cancel_ = nullptr;
    int actionId_ = 0;
    int rows_ = 0;
};

}  // namespace nyra::gui
