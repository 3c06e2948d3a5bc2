// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QTableWidget;

namespace nyra {
struct ListWindow;
}

namespace nyra::gui {

// A line of text over a table with grid lines and whole-row selection, and
// an OK button: the version window.
class ListWindowDialog : public QDialog {
    Q_OBJECT
public:
    explicit ListWindowDialog(const ListWindow& window, QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }
    QLabel* line() const { return line_; }

private:
    QLabel* line_;
    QTableWidget* table_;
};

}  // namespace nyra::gui
