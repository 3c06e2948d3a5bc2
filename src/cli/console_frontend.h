// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "ui/frontend.h"

namespace nyra::cli {

// The person at the desk, for a run without one: every box is printed on one
// line and answered with its positive (or only) answer, dialogs are cancelled,
// nothing is played or opened. Boxes come from the worker thread too, so
// printing is serialised.
class ConsoleFrontend final : public Frontend {
public:
    explicit ConsoleFrontend(std::ostream& err) : err_(err) {}

    // The answers to questions instead of the positive one: to Yes/No boxes
    // and to Yes/No/Cancel boxes.
    void setAnswers(BoxAnswer yesNo, BoxAnswer yesNoCancel) {
        std::lock_guard lock(mutex_);
        yesNo_ = yesNo;
        yesNoCancel_ = yesNoCancel;
    }

    // Boxes with the information icon go to out instead: what a command reports.
    void sendInformationTo(std::ostream& out) {
        std::lock_guard lock(mutex_);
        information_ = &out;
    }

    BoxAnswer messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                         BoxButtons buttons) override;
    std::vector<std::string> openFileDialog(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> browseFolder(const std::string&) override { return std::nullopt; }
    // Printed as lines of cells separated by " | ".
    void showList(const ListWindow& window) override;
    void playSound(const std::string&) override {}
    void beep(BeepKind) override {}
    void shellOpen(const std::string& path, std::function<void(bool opened)> done) override;

    // One line of the program's own on the same stream as the boxes; the
    // same text twice in a row is printed once.
    void print(const std::string& line);

    // The text on one line: each run of line breaks becomes one space, and
    // trailing blanks (the boxes pad their last line) are dropped.
    static std::string oneLine(const std::string& text);

private:
    std::mutex mutex_;
    std::ostream& err_;
    std::ostream* information_ = nullptr;
    std::string last_;
    std::optional<BoxAnswer> yesNo_;
    std::optional<BoxAnswer> yesNoCancel_;
};

}  // namespace nyra::cli
