// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace nyra {
class AddressOffsetTool;
}

namespace nyra::gui {

// The address-offset window: shows the tool's fields and hands every edit
// and button to it.
class AddressOffsetDialog : public QDialog {
    Q_OBJECT
public:
    AddressOffsetDialog(AddressOffsetTool& tool, QWidget* parent = nullptr);

private:
    void showFields();
    void offsetEdited(const QString& text);
    void okPressed();

    AddressOffsetTool& tool_;
    QLineEdit* path_;
    QLineEdit* offset_;
    QLabel* status_;
    QPushButton* browse_;
    QPushButton* ok_;
};

}  // namespace nyra::gui
