// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "tool_dialog.h"

class QCheckBox;

namespace nyra {
class DataViewWindow;
class FileFillWindow;
class GoToWindow;
}  // namespace nyra

namespace nyra::gui {

// The file fill window (modal).
class FileFillDialog : public ToolDialog {
    Q_OBJECT
public:
    explicit FileFillDialog(FileFillWindow& window, QWidget* parent = nullptr);
    QCheckBox* fromEndBox() const { return fromEnd_; }

private:
    void action() override;
    void otherCommand(int id) override;
    void showAddressState();

    FileFillWindow& window_;
    QCheckBox* fromEnd_;
};

// The data view window (modal); the result arrives from the worker.
class DataViewDialog : public ToolDialog {
    Q_OBJECT
public:
    explicit DataViewDialog(DataViewWindow& window, QWidget* parent = nullptr);

private:
    void action() override;

    DataViewWindow& window_;
};

// A go-to window: modeless, owns its core window and goes when closed.
class GoToDialog : public ToolDialog {
    Q_OBJECT
public:
    explicit GoToDialog(std::unique_ptr<GoToWindow> window, QWidget* parent = nullptr);
    ~GoToDialog() override;

private:
    void action() override;

    std::unique_ptr<GoToWindow> window_;
};

}  // namespace nyra::gui
