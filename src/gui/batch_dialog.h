// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "ui/panel.h"

class QListWidget;

namespace nyra {
class BatchWindow;
}

namespace nyra::gui {

class PanelBinder;

// The batch window: modeless, made once and shown again with its contents
// as they were. Exit and closing it stop a running series first.
class BatchDialog : public QDialog {
    Q_OBJECT
public:
    explicit BatchDialog(BatchWindow& window, QWidget* parent = nullptr);
    ~BatchDialog() override;

    QListWidget* documentList() const { return documents_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void command(int id);
    void showDocuments();

    BatchWindow& window_;
    PanelBinder* binder_;
    QListWidget* documents_;
    Panel::Token token_{};
};

}  // namespace nyra::gui
