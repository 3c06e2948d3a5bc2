#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "ui/frontend.h"

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
    // Opens a URL with the desktop; replaceable so that tests open nothing.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }
    // Releases every waiting caller; later calls from other threads are not shown.
    void close();
    bool closed() const;

    BoxAnswer messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                         BoxButtons buttons) override;
    std::vector<std::string> openFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> browseFolder(const std::string& title) override;
    void playSound(const std::string& path) override;
    void beep(BeepKind kind) override;
    bool shellOpen(const std::string& path) override;

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

    QPointer<QWidget> parentWindow_;
    std::function<bool(const QUrl&)> urlOpener_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    bool closed_ = false;
    std::map<std::string, QObject*> sounds_;  // window thread only
};

}  // namespace nyra::gui
