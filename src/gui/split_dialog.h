// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLineEdit;

namespace nyra {
class FileSplitTool;
}

namespace nyra::gui {

// The file split window: shows the tool's fields and hands every button to
// it. OK splits and leaves the window open; only cancel closes it.
class SplitDialog : public QDialog {
    Q_OBJECT
public:
    SplitDialog(FileSplitTool& tool, QWidget* parent = nullptr);

private:
    void showFields();
    void okPressed();

    FileSplitTool& tool_;
    QLineEdit* source_;
    QLineEdit* points_;
};

}  // namespace nyra::gui
