// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "ui/frontend.h"

class QTranslator;
class QWidget;

namespace nyra::gui {

// The Frontend on Qt widgets. It lives on the window thread: a call from
// any other thread is carried out there while the calling thread waits for
// the answer. Once closed, waiting callers are released with the answer of
// a dismissed box and new calls from other threads get it at once, so that
// a worker blocked on a box can never hold up the end of the program.
class QtFrontend : public QObject, public Frontend {
    Q_OBJECT
public:
    explicit QtFrontend(QObject* parent = nullptr);
    ~QtFrontend() override;

    // The window that boxes and dialogs belong to.
    void setParentWindow(QWidget* window) { parentWindow_ = window; }
    // Opens an existing file with the desktop and reports whether that
    // worked; replaceable so that tests open nothing. Runs on the window thread.
    using Opener = std::function<void(const QString& path, std::function<void(bool)> done)>;
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    // The desktop's own opener: xdg-open, judged by its exit status, since
    // only that tells whether some program took the file.
    void openWithXdgOpen(const QString& path, std::function<void(bool)> done);
    // The language whose toolkit translation is installed, or "" for none.
    QString installedLanguage() const { return installedLanguage_; }
    // Releases every waiting caller; later calls from other threads are not shown.
    void close();
    bool closed() const;

    BoxAnswer messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                         BoxButtons buttons) override;
    std::vector<std::string> openFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> browseFolder(const std::string& title) override;
    void showList(const ListWindow& window) override;
    std::optional<std::size_t> chooseItem(const std::string& title, const std::string& prompt,
                                          const std::vector<std::string>& items,
                                          std::size_t current) override;
    void playSound(const std::string& path) override;
    void beep(BeepKind kind) override;
    void shellOpen(const std::string& path, std::function<void(bool opened)> done) override;
    void useLanguage(const std::string& locale) override;

private:
    // Runs task on the window thread and returns its result; onClosed's
    // value when the frontend is closed before the task ran.
    template <typename Result>
    Result onWindowThread(std::function<Result()> task, Result onClosed);
    // Runs task on the window thread without waiting.
    void later(std::function<void()> task);

    BoxAnswer showBox(const std::string& text, const std::string& caption, BoxIcon icon,
                      BoxButtons buttons);
    std::vector<std::string> showOpenDialog(const FileDialogRequest& request);
    std::optional<std::string> showSaveDialog(const FileDialogRequest& request);
    void startSound(const std::string& path);
    void installTranslation(const QString& locale);
    // Stops waiting for the openers still running; their results are dropped.
    void dropOpeners();

    QPointer<QWidget> parentWindow_;
    Opener opener_;
    QTranslator* translator_ = nullptr;  // window thread only
    QTranslator* fileTypes_ = nullptr;   // what the toolkit's translation lacks
    QString installedLanguage_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    bool closed_ = false;
    std::map<std::string, QObject*> sounds_;  // window thread only
};

}  // namespace nyra::gui
