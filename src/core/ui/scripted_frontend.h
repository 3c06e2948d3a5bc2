// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/frontend.h"

// A Frontend that answers from a script and records every call, for tests
// and for front ends without a person in front of them. Thread-safe.
namespace nyra {

struct FrontendCall {
    enum class Kind : unsigned char {
        MessageBox,
        OpenFile,
        SaveFile,
        BrowseFolder,
        PlaySound,
        Beep,
        ShellOpen,
        ShowList,
        ChooseItem
    };

    Kind kind = Kind::MessageBox;
    std::string text{};     // box text, folder title, sound or opened path
    std::string caption{};  // box caption
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    FileDialogRequest dialog{};
    BeepKind beep = BeepKind::Simple;

    // What was answered.
    BoxAnswer answer = BoxAnswer::Ok;
    std::vector<std::string> chosen{};  // dialogs; empty when cancelled
    bool found = false;                 // shell open
    ListWindow list{};                  // list window
    std::vector<std::string> items{};   // chooseItem: the items offered
};

class ScriptedFrontend : public Frontend {
public:
    // The script: answers are taken in order, one queue for boxes, one for
    // the file and folder dialogs together, one for shell opens.
    void answerBox(BoxAnswer answer);
    void chooseFiles(std::vector<std::string> paths);  // empty: cancel
    void chooseFile(std::string path) { chooseFiles({std::move(path)}); }
    void cancelDialog() { chooseFiles({}); }
    void shellOpenResult(bool found);

    // With an empty script a box gets OK or Yes, or when this is turned off
    // Cancel (No for a Yes/No box); a dialog is cancelled; a shell open finds
    // the file when it exists.
    void setPositiveDefault(bool positive);
    // Called after each call is recorded, outside the lock.
    void setObserver(std::function<void(const FrontendCall&)> observer);

    BoxAnswer messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                         BoxButtons buttons) override;
    std::vector<std::string> openFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> browseFolder(const std::string& title) override;
    void showList(const ListWindow& window) override;
    // Takes the dialog script's next answer: the item with that text.
    std::optional<std::size_t> chooseItem(const std::string& title, const std::string& prompt,
                                          const std::vector<std::string>& items,
                                          std::size_t current) override;
    void playSound(const std::string& path) override;
    void beep(BeepKind kind) override;
    // done is called at once, with the scripted result.
    void shellOpen(const std::string& path, std::function<void(bool opened)> done) override;
    // The same, returning the result.
    bool shellOpen(const std::string& path);
    void useLanguage(const std::string& locale) override;

    std::vector<FrontendCall> calls() const;
    std::vector<FrontendCall> boxes() const;
    std::vector<FrontendCall> dialogs() const;
    std::vector<std::string> sounds() const;
    std::vector<BeepKind> beeps() const;
    std::vector<std::string> opened() const;
    std::vector<ListWindow> lists() const;
    // The last language told, or nullopt when none was.
    std::optional<std::string> language() const;
    // Script entries not used yet, so a test can tell that all were consumed.
    std::size_t unusedScript() const;
    // Scripted box answers that the box did not offer; the default was given instead.
    std::size_t mismatches() const;
    void clearRecord();

private:
    std::vector<std::string> takeDialogAnswer();
    std::optional<std::string> recordSingleChoice(FrontendCall call);
    void record(FrontendCall call);

    mutable std::mutex mutex_;
    std::deque<BoxAnswer> boxScript_;
    std::deque<std::vector<std::string>> dialogScript_;
    std::deque<bool> shellScript_;
    std::optional<std::string> language_;
    bool positiveDefault_ = true;
    std::size_t mismatches_ = 0;
    std::vector<FrontendCall> calls_;
    std::function<void(const FrontendCall&)> observer_;
};

}  // namespace nyra
