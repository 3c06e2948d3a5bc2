// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>

class QPushButton;

namespace nyra {
class UpgradeWindow;
}

namespace nyra::gui {

class LabelledProgressBar;
class PanelBinder;

// The firmware upgrade window: shows the upgrade window's Panel, forwards its
// two buttons, and stays open while an upgrade runs.
class UpgradeDialog : public QDialog {
    Q_OBJECT
public:
    UpgradeDialog(UpgradeWindow& window, std::function<void(int id)> command,
                  QWidget* parent = nullptr);

    LabelledProgressBar* progressBar() const { return progress_; }
    QPushButton* upgradeButton() const { return upgrade_; }
    QPushButton* openButton() const { return open_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    UpgradeWindow& window_;
    PanelBinder* binder_;
    LabelledProgressBar* progress_;
    QPushButton* open_;
    QPushButton* upgrade_;
};

}  // namespace nyra::gui
