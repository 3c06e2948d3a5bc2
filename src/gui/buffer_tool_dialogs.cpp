// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer_tool_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ops/data_view_job.h"
#include "panel_binder.h"
#include "tools/file_fill.h"
#include "tools/go_to.h"

namespace nyra::gui {

FileFillDialog::FileFillDialog(FileFillWindow& window, QWidget* parent)
    : ToolDialog(window.panel(), window.fields(), window.title(), parent), window_(window) {
    addField(ids::kFileFillAddressLabel, ids::kFileFillAddress);
    fromEnd_ = addCheckBox(ids::kFileFillFromEnd);
    addField(ids::kFileFillLengthLabel, ids::kFileFillLength);
    addField(ids::kFileFillDataLabel, ids::kFileFillData);
    addStatic(ids::kFileFillStatusLabel, ids::kFileFillStatus);
    addButtons(ids::kFileFillAction);
    finish();
    showAddressState();
}

void FileFillDialog::action() {
    window_.fill();
    showAddressState();
}

void FileFillDialog::otherCommand(int id) {
    if (id != ids::kFileFillFromEnd)
        return;
    window_.setFillFromEnd(fromEnd_->isChecked());
    showAddressState();
}

void FileFillDialog::showAddressState() {
    QLineEdit* address = field(ids::kFileFillAddress);
    address->setReadOnly(window_.addressReadOnly());
    if (window_.addressReadOnly())
        address->end(false);
}

DataViewDialog::DataViewDialog(DataViewWindow& window, QWidget* parent)
    : ToolDialog(window.panel(), window.fields(), window.title(), parent), window_(window) {
    addField(ids::kDataViewFirstLabel, ids::kDataViewAddress);
    addStatic(ids::kDataViewFirstLabel + 1, ids::kDataViewFileData);
    addStatic(ids::kDataViewFirstLabel + 2, ids::kDataViewChipData);
    addStatic(ids::kDataViewFirstLabel + 3, ids::kDataViewStatus);
    addButtons(ids::kDataViewAction);
    finish();
}

void DataViewDialog::action() {
    window_.view();
}

GoToDialog::GoToDialog(std::unique_ptr<GoToWindow> window, QWidget* parent)
    : ToolDialog(window->panel(), window->fields(), window->title(), parent),
      window_(std::move(window)) {
    setAttribute(Qt::WA_DeleteOnClose);
    addField(ids::kGoToLabel, ids::kGoToAddress);
    addButtons(ids::kGoToAction);
    finish();
}

// The binder leaves the window's Panel before the window goes; as a child
// it would outlive it.
GoToDialog::~GoToDialog() {
    delete binder();
}

void GoToDialog::action() {
    window_->go();
}

}  // namespace nyra::gui
