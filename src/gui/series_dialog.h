// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLineEdit;

namespace nyra {
class WindowSeries;
struct SeriesDialogTexts;
}  // namespace nyra

namespace nyra::gui {

// Where the batch window's mode 2 takes its IDs: the store's URL, the
// series and this station's name. OK asks the core, which keeps the dialog
// open with its reason when the store or the series cannot be used.
class SeriesDialog : public QDialog {
    Q_OBJECT
public:
    SeriesDialog(WindowSeries& series, const SeriesDialogTexts& texts, QWidget* parent = nullptr);

private:
    WindowSeries& series_;
    QLineEdit* url_;
    QLineEdit* name_;
    QLineEdit* station_;
};

}  // namespace nyra::gui
