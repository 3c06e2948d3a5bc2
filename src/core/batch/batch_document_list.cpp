// SPDX-License-Identifier: GPL-3.0-or-later
// The batch window's document list (mode 3) and its main document.
#include <strings.h>

#include <algorithm>

#include "batch/batch_files.h"
#include "batch/batch_window.h"

namespace nyra {

using namespace batch_ids;

namespace {

constexpr const char* kDocumentFilter = "all files|*.*|(*.bin;*.rom)|*.bin;*.rom||";
constexpr const char* kMainFilter =
    "*.*|*.*|*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.cap(*.cap)|*.cap||";

bool caseLess(const std::string& a, const std::string& b) {
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
}

}  // namespace

int BatchWindow::firstSelected() const {
    const auto it = std::find(selected_.begin(), selected_.end(), true);
    return it == selected_.end() ? -1 : static_cast<int>(it - selected_.begin());
}

void BatchWindow::selectOnly(int index) {
    std::fill(selected_.begin(), selected_.end(), false);
    if (index >= 0 && index < static_cast<int>(selected_.size()))
        selected_[static_cast<std::size_t>(index)] = true;
    publishDocuments();
}

void BatchWindow::publishDocuments() {
    panel_.setItems(kDocuments, documents_);
    // The check mark tells the widget to read the selection again.
    panel_.setChecked(kDocuments, !panel_.checked(kDocuments));
}

std::vector<bool> BatchWindow::selection() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

std::vector<std::string> BatchWindow::documents() const {
    std::lock_guard lock(mutex_);
    return documents_;
}

void BatchWindow::addDocuments() {
    FileDialogRequest request;
    request.filter = kDocumentFilter;
    request.defaultExtension = "*.*";
    request.multiSelect = true;
    addDocuments(frontend_.openFileDialog(request));
}

void BatchWindow::addDocuments(const std::vector<std::string>& paths) {
    std::lock_guard lock(mutex_);
    for (const std::string& path : paths) {
        const auto at = std::upper_bound(documents_.begin(), documents_.end(), path, caseLess);
        const auto index = at - documents_.begin();
        documents_.insert(at, path);
        selected_.insert(selected_.begin() + index, false);
    }
    publishDocuments();
}

void BatchWindow::deleteSelected() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = documents_.size(); i-- > 0;) {
        if (selected_[i]) {
            documents_.erase(documents_.begin() + static_cast<long>(i));
            selected_.erase(selected_.begin() + static_cast<long>(i));
        }
    }
    publishDocuments();
}

void BatchWindow::selectAll(bool on) {
    std::lock_guard lock(mutex_);
    std::fill(selected_.begin(), selected_.end(), on);
    publishDocuments();
}

void BatchWindow::toggleSelected(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(selected_.size()))
        return;
    selected_[static_cast<std::size_t>(index)] = !selected_[static_cast<std::size_t>(index)];
    publishDocuments();
}

void BatchWindow::move(bool up) {
    std::lock_guard lock(mutex_);
    if (std::count(selected_.begin(), selected_.end(), true) != 1)
        return;
    const int at = firstSelected();
    const int to = up ? at - 1 : at + 1;
    if (to < 0 || to >= static_cast<int>(documents_.size()))
        return;
    std::swap(documents_[static_cast<std::size_t>(at)], documents_[static_cast<std::size_t>(to)]);
    selectOnly(to);
    if (focus)
        focus(kDocuments, false);
}

void BatchWindow::chooseMainDocument() {
    FileDialogRequest request;
    request.filter = kMainFilter;
    request.defaultExtension = ".*";
    const std::vector<std::string> chosen = frontend_.openFileDialog(request);
    if (chosen.empty())
        return;
    std::lock_guard lock(mutex_);
    readFields();
    panel_.setText(kMainDocument, chosen.front());
    // The ID or the sub-document goes right behind the main document.
    if (const auto after = fillAddressAfter(chosen.front()))
        fields_.fillAddress = *after;
    showFields();
}

}  // namespace nyra
