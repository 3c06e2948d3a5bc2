// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the program needs of a person or of the desktop: message boxes, file
// and folder choices, sounds, and opening a file with its usual program. The
// GUI implements it on the window thread (calls from other threads block
// until answered); tests and the command line use a scripted stand-in.
namespace nyra {

enum class BoxIcon : unsigned char { None, Information, Warning, Question, Error };
enum class BoxButtons : unsigned char { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxAnswer : unsigned char { Ok, Cancel, Yes, No };

// The system sounds a beep may stand for.
enum class BeepKind : unsigned char { Simple, Information, Exclamation, Question, Error };

// Whether a box with these buttons can give this answer.
constexpr bool offers(BoxButtons buttons, BoxAnswer answer) {
    switch (buttons) {
        case BoxButtons::Ok:
            return answer == BoxAnswer::Ok;
        case BoxButtons::OkCancel:
            return answer == BoxAnswer::Ok || answer == BoxAnswer::Cancel;
        case BoxButtons::YesNo:
            return answer == BoxAnswer::Yes || answer == BoxAnswer::No;
        case BoxButtons::YesNoCancel:
            return answer != BoxAnswer::Ok;
    }
    return false;
}

// The positive answer of a box (OK or Yes).
constexpr BoxAnswer positiveAnswer(BoxButtons buttons) {
    return buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoCancel ? BoxAnswer::Yes
                                                                              : BoxAnswer::Ok;
}

// The answer of closing the box without choosing (Cancel, or No without Cancel).
constexpr BoxAnswer dismissAnswer(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return BoxAnswer::Ok;
        case BoxButtons::YesNo:
            return BoxAnswer::No;
        case BoxButtons::OkCancel:
        case BoxButtons::YesNoCancel:
            break;
    }
    return BoxAnswer::Cancel;
}

struct FileDialogRequest {
    std::string title{};             // empty: the dialog's own title
    std::string filter{};            // "label|patterns|...||", see file_filter.h
    std::string defaultExtension{};  // added to a typed name without one
    std::string initialPath{};       // folder or file to start in
    bool multiSelect = false;        // open dialogs only
    bool overwritePrompt = false;    // save dialogs only

    friend bool operator==(const FileDialogRequest&, const FileDialogRequest&) = default;
};

// A window with a line of text above a list view and an OK button: columns
// with their headers and widths, all centred, whole rows, grid lines.
struct ListWindow {
    struct Column {
        std::string header;
        int width = 0;

        friend bool operator==(const Column&, const Column&) = default;
    };
    std::string title;
    std::string line;
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;

    friend bool operator==(const ListWindow&, const ListWindow&) = default;
};

class Frontend {
public:
    virtual ~Frontend() = default;

    // Blocks until answered; the answer is always one the buttons offer.
    virtual BoxAnswer messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                 BoxButtons buttons) = 0;
    // The chosen paths, in the order the dialog gives them; empty when cancelled.
    virtual std::vector<std::string> openFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> browseFolder(const std::string& title) = 0;
    // Shows the window modally; returns when it has been closed.
    virtual void showList(const ListWindow& window) = 0;
    // One item of a list, the current one chosen at first; nullopt when
    // cancelled (or with no person to ask).
    virtual std::optional<std::size_t> chooseItem(const std::string& title,
                                                  const std::string& prompt,
                                                  const std::vector<std::string>& items,
                                                  std::size_t current) {
        (void)title, (void)prompt, (void)items, (void)current;
        return std::nullopt;
    }
    // Plays a sound file without waiting for it.
    virtual void playSound(const std::string& path) = 0;
    virtual void beep(BeepKind kind) = 0;
    // Opens a file with its usual program. done(false) when the file was not
    // found or no program could open it. The desktop may only know that after
    // its opener ran, so done can come after shellOpen has returned (on the
    // window thread); it comes at most once, and not at all once the front
    // end has closed.
    virtual void shellOpen(const std::string& path, std::function<void(bool opened)> done) = 0;
    // The language of the interface texts as a locale name ("zh_CN"), or ""
    // when unknown, so that the desktop's own texts (standard buttons) can
    // follow it. Told at start-up once the texts are loaded, before any box.
    virtual void useLanguage(const std::string& locale) { (void)locale; }

    // The first chosen file of a single-choice open dialog.
    std::optional<std::string> openFile(const FileDialogRequest& request) {
        auto paths = openFileDialog(request);
        if (paths.empty())
            return std::nullopt;
        return std::move(paths.front());
    }
};

}  // namespace nyra
