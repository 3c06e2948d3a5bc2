// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_frontend.h"

#include <algorithm>

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTranslator>
#include <QTreeView>
#include <QUrl>

#ifdef NYRA_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

#include "file_dialog_texts.h"
#include "list_window_dialog.h"
#include "ui/file_filter.h"

namespace nyra::gui {

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon boxIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton standardButton(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return QMessageBox::Ok;
        case BoxAnswer::Cancel:
            return QMessageBox::Cancel;
        case BoxAnswer::Yes:
            return QMessageBox::Yes;
        case BoxAnswer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

std::vector<BoxAnswer> answersOf(BoxButtons buttons) {
    std::vector<BoxAnswer> answers;
    for (BoxAnswer answer : {BoxAnswer::Ok, BoxAnswer::Yes, BoxAnswer::No, BoxAnswer::Cancel}) {
        if (offers(buttons, answer))
            answers.push_back(answer);
    }
    return answers;
}

// A path that names a folder opens the dialog there; anything else also
// proposes the file name.
void startIn(QFileDialog& dialog, const std::string& initialPath) {
    if (initialPath.empty())
        return;
    const QFileInfo info(qt(initialPath));
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
    } else {
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
}

// Qt's own dialog sizes its detail columns for short English texts, which
// clips sizes and dates ("55....KiB") and longer translations. The native
// dialogs of the desktops have no such view and are left alone.
void widenDetailColumns(QFileDialog& dialog) {
    auto* view = dialog.findChild<QTreeView*>();
    if (!view)
        return;
    const QFontMetrics metrics(view->font());
    const int margin = 3 * metrics.horizontalAdvance(QLatin1Char('M'));
    const QLocale locale;
    // Types are the desktop's descriptions of file kinds ("应用程序日志"):
    // room for ten wide characters.
    const QString widest[] = {
        locale.formattedDataSize(999'999'999), QString(10, QChar(0x6587)),
        locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58)), QLocale::ShortFormat)};
    int total = view->header()->sectionSize(0);
    for (int column = 1; column <= 3; ++column) {
        const int width = metrics.horizontalAdvance(widest[column - 1]) + margin;
        view->header()->resizeSection(column, std::max(width, view->header()->sectionSize(column)));
        total += view->header()->sectionSize(column);
    }
    dialog.resize(std::max(dialog.width(), std::max(860, total + 240)),
                  std::max(dialog.height(), 480));
}

void prepare(QFileDialog& dialog, const FileDialogRequest& request) {
    if (!request.title.empty())
        dialog.setWindowTitle(qt(request.title));
    const std::string filter = qtFilterString(request.filter);
    if (!filter.empty())
        dialog.setNameFilter(qt(filter));
    startIn(dialog, request.initialPath);
    // Qt's own dialog only; a native one ignores the model.
    dialog.setProxyModel(new LocaleDatesModel(&dialog));
    widenDetailColumns(dialog);
}

}  // namespace

QtFrontend::QtFrontend(QObject* parent)
    : QObject(parent), opener_([this](const QString& path, std::function<void(bool)> done) {
          openWithXdgOpen(path, std::move(done));
      }) {}

QtFrontend::~QtFrontend() {
    close();
    dropOpeners();
}

void QtFrontend::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    answered_.notify_all();
}

void QtFrontend::dropOpeners() {
    for (QProcess* process : findChildren<QProcess*>()) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            // Only the opener's shell ends; a program it started keeps running.
            process->kill();
            process->waitForFinished(1000);
        }
        delete process;
    }
}

bool QtFrontend::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

template <typename Result>
Result QtFrontend::onWindowThread(std::function<Result()> task, Result onClosed) {
    if (QThread::currentThread() == thread())
        return task();

    struct Call {
        bool done = false;
        std::optional<Result> result;
    };
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return onClosed;
    }
    QMetaObject::invokeMethod(
        this,
        [this, call, task = std::move(task)] {
            if (closed())
                return;
            Result result = task();
            {
                std::lock_guard lock(mutex_);
                call->result = std::move(result);
                call->done = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return call->done || closed_; });
    return call->done ? std::move(*call->result) : onClosed;
}

void QtFrontend::later(std::function<void()> task) {
    if (QThread::currentThread() == thread()) {
        task();
        return;
    }
    if (closed())
        return;
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

BoxAnswer QtFrontend::messageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                 BoxButtons buttons) {
    return onWindowThread<BoxAnswer>(
        [this, text, caption, icon, buttons] { return showBox(text, caption, icon, buttons); },
        dismissAnswer(buttons));
}

BoxAnswer QtFrontend::showBox(const std::string& text, const std::string& caption, BoxIcon icon,
                              BoxButtons buttons) {
    // A message waits for an answer: no minimise or maximise button.
    QMessageBox box(
        boxIcon(icon), qt(caption), qt(text), QMessageBox::NoButton, parentWindow_.data(),
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    std::map<QAbstractButton*, BoxAnswer> answerOf;
    for (BoxAnswer answer : answersOf(buttons)) {
        QAbstractButton* button = box.addButton(standardButton(answer));
        answerOf[button] = answer;
        if (answer == positiveAnswer(buttons))
            box.setDefaultButton(static_cast<QPushButton*>(button));
        if (answer == dismissAnswer(buttons))
            box.setEscapeButton(button);
    }
    box.exec();
    const auto found = answerOf.find(box.clickedButton());
    return found == answerOf.end() ? dismissAnswer(buttons) : found->second;
}

std::vector<std::string> QtFrontend::openFileDialog(const FileDialogRequest& request) {
    return onWindowThread<std::vector<std::string>>(
        [this, request] { return showOpenDialog(request); }, {});
}

std::vector<std::string> QtFrontend::showOpenDialog(const FileDialogRequest& request) {
    QFileDialog dialog(parentWindow_.data());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    prepare(dialog, request);
    std::vector<std::string> chosen;
    if (dialog.exec() == QDialog::Accepted) {
        for (const QString& file : dialog.selectedFiles())
            chosen.push_back(file.toStdString());
    }
    return chosen;
}

std::optional<std::string> QtFrontend::saveFileDialog(const FileDialogRequest& request) {
    return onWindowThread<std::optional<std::string>>(
        [this, request] { return showSaveDialog(request); }, std::nullopt);
}

std::optional<std::string> QtFrontend::showSaveDialog(const FileDialogRequest& request) {
    QFileDialog dialog(parentWindow_.data());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    prepare(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return withDefaultExtension(dialog.selectedFiles().front().toStdString(),
                                request.defaultExtension);
}

std::optional<std::string> QtFrontend::browseFolder(const std::string& title) {
    return onWindowThread<std::optional<std::string>>(
        [this, title]() -> std::optional<std::string> {
            const QString folder =
                QFileDialog::getExistingDirectory(parentWindow_.data(), qt(title));
            if (folder.isEmpty())
                return std::nullopt;
            return folder.toStdString();
        },
        std::nullopt);
}

std::optional<std::size_t> QtFrontend::chooseItem(const std::string& title,
                                                  const std::string& prompt,
                                                  const std::vector<std::string>& items,
                                                  std::size_t current) {
    return onWindowThread<std::optional<std::size_t>>(
        [&]() -> std::optional<std::size_t> {
            QStringList list;
            for (const std::string& item : items)
                list << qt(item);
            bool ok = false;
            const QString chosen = QInputDialog::getItem(
                parentWindow_.data(), qt(title), qt(prompt), list,
                static_cast<int>(std::min(current, items.size())), false, &ok);
            const auto at = list.indexOf(chosen);
            if (!ok || at < 0)
                return std::nullopt;
            return static_cast<std::size_t>(at);
        },
        std::nullopt);
}

void QtFrontend::showList(const ListWindow& window) {
    onWindowThread<bool>(
        [this, window] {
            ListWindowDialog dialog(window, parentWindow_.data());
            dialog.exec();
            return true;
        },
        false);
}

void QtFrontend::playSound(const std::string& path) {
    later([this, path] { startSound(path); });
}

void QtFrontend::startSound(const std::string& path) {
#ifdef NYRA_HAVE_MULTIMEDIA
    QObject*& slot = sounds_[path];
    if (!slot) {
        auto* effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(qt(path)));
        slot = effect;
    }
    static_cast<QSoundEffect*>(slot)->play();
#else
    (void)path;
    QApplication::beep();
#endif
}

void QtFrontend::beep(BeepKind /*kind*/) {
    later([] { QApplication::beep(); });
}

void QtFrontend::shellOpen(const std::string& path, std::function<void(bool opened)> done) {
    const QFileInfo info(qt(path));
    if (!info.exists()) {
        if (done)
            done(false);
        return;
    }
    later([this, file = info.absoluteFilePath(), done = std::move(done)]() mutable {
        if (closed())
            return;
        opener_(file, [done = std::move(done)](bool opened) {
            if (done)
                done(opened);
        });
    });
}

void QtFrontend::openWithXdgOpen(const QString& path, std::function<void(bool)> done) {
    // QDesktopServices starts xdg-open detached and reports success as soon
    // as it started, even when nothing on the desktop can open the file.
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty()) {
        done(false);
        return;
    }
    auto* process = new QProcess(this);
    process->setProgram(program);
    process->setArguments({path});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // Without a desktop session xdg-open runs the program it found in the
    // foreground, so the answer may come only when that program ends.
    connect(process, &QProcess::finished, this,
            [process, done](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                done(status == QProcess::NormalExit && exitCode == 0);
            });
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;  // the exit status follows
        process->deleteLater();
        done(false);
    });
    process->start();
}

void QtFrontend::useLanguage(const std::string& locale) {
    later([this, locale = qt(locale)] { installTranslation(locale); });
}

void QtFrontend::installTranslation(const QString& locale) {
    if (translator_) {
        QCoreApplication::removeTranslator(translator_);
        delete translator_;
        translator_ = nullptr;
        installedLanguage_.clear();
        QLocale::setDefault(QLocale::system());
    }
    if (fileTypes_) {
        QCoreApplication::removeTranslator(fileTypes_);
        delete fileTypes_;
        fileTypes_ = nullptr;
    }
    if (locale.isEmpty())
        return;
    if (locale == QStringLiteral("zh_CN")) {
        fileTypes_ = new FileTypeTranslator(this);
        QCoreApplication::installTranslator(fileTypes_);
    }
    auto* translator = new QTranslator(this);
    if (!translator->load(QStringLiteral("qtbase_") + locale,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        // Without the translation the toolkit's texts stay in English.
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
    // Dates and sizes in the toolkit's dialogs follow the texts' language.
    QLocale::setDefault(QLocale(locale));
    translator_ = translator;
    installedLanguage_ = locale;
}

}  // namespace nyra::gui
