// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <map>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nyra {
class ChipFillWindow;
}

namespace nyra::gui {

class PanelBinder;

// The chip fill window: shows the window's Panel, checks every edit of a
// number field, and hands the buttons to it. The action button (also Enter)
// starts the fill and leaves the window open; only cancel closes it, and
// not while the chip is being written.
class ChipFillDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChipFillDialog(ChipFillWindow& window, QWidget* parent = nullptr);

    QLineEdit* field(int id) const;
    QCheckBox* fileMode() const { return fileMode_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* actionButton() const { return action_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* status() const { return status_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* addField(int id, const char* name);
    void command(int id);

    ChipFillWindow& window_;
    PanelBinder* binder_;
    std::map<int, QLineEdit*> fields_;
    QCheckBox* fileMode_;
    QPushButton* browse_;
    QPushButton* action_;
    QPushButton* cancel_;
    QLabel* status_;
};

}  // namespace nyra::gui
