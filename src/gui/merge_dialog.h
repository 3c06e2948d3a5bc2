// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace nyra {
class FileMergeTool;
}

namespace nyra::gui {

// The file merge window: shows the tool's list and fields and hands every
// button to it. OK merges and leaves the window open; only cancel closes it.
class MergeDialog : public QDialog {
    Q_OBJECT
public:
    MergeDialog(FileMergeTool& tool, QWidget* parent = nullptr);

private:
    void showFields();
    void deleteSelected();
    void okPressed();

    FileMergeTool& tool_;
    QListWidget* files_;
    QLineEdit* folder_;
    QLineEdit* name_;
};

}  // namespace nyra::gui
