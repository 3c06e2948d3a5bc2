// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "gui_tests.h"
#include "qt_frontend.h"
#include "skin.h"
#include "ui/file_filter.h"
#include "unavailable_usb.h"

namespace nyra::gui::test {

namespace {

QMessageBox* shownBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

// Answers the next box shown on the window thread by calling act on it.
void answerNextBox(QTimer& poll, std::function<void(QMessageBox*)> act) {
    QObject::connect(&poll, &QTimer::timeout, [&poll, act = std::move(act)] {
        if (QMessageBox* box = shownBox()) {
            poll.stop();
            act(box);
        }
    });
    poll.start(10);
}

// A call made on another thread. However a test ends, the thread is released
// (by closing the frontend) and joined.
class BackgroundCall {
public:
    BackgroundCall(QtFrontend& frontend, std::function<void()> call)
        : frontend_(frontend), thread_([this, call = std::move(call)] {
              call();
              done_ = true;
          }) {}
    ~BackgroundCall() {
        frontend_.close();
        thread_.join();
    }
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;
    bool done() const { return done_; }

private:
    QtFrontend& frontend_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

void FrontendTest::boxFromAnotherThreadBlocksUntilAnswered() {
    QtFrontend frontend;
    BoxAnswer answer = BoxAnswer::Ok;
    // The box runs its own event loop on this thread; it is looked at and
    // answered from inside that loop.
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool yesIsDefault = false;
    bool doneWhileShown = true;
    const BackgroundCall* callPointer = nullptr;
    QTimer poll;
    answerNextBox(poll, [&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        QTimer::singleShot(150, box, [&, box] {
            doneWhileShown = callPointer->done();
            box->button(QMessageBox::No)->click();
        });
    });
    BackgroundCall call(frontend, [&] {
        answer =
            frontend.messageBox("Stop the read?", "Notice", BoxIcon::Question, BoxButtons::YesNo);
    });
    callPointer = &call;
    QTRY_VERIFY(call.done());
    QVERIFY(!doneWhileShown);  // the caller waited for the person
    QCOMPARE(answer, BoxAnswer::No);
    QCOMPARE(text, QStringLiteral("Stop the read?"));
    QCOMPARE(title, QStringLiteral("Notice"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(yesIsDefault);
}

void FrontendTest::boxOnTheWindowThreadIsShownDirectly() {
    QtFrontend frontend;
    QString shownText;
    Qt::HANDLE shownOn = nullptr;
    QTimer poll;
    answerNextBox(poll, [&](QMessageBox* box) {
        shownText = box->text();
        shownOn = QThread::currentThreadId();
        box->button(QMessageBox::Ok)->click();
    });
    const BoxAnswer answer =
        frontend.messageBox("Erase done", "Info", BoxIcon::Information, BoxButtons::OkCancel);
    QCOMPARE(answer, BoxAnswer::Ok);
    QCOMPARE(shownText, QStringLiteral("Erase done"));
    QCOMPARE(shownOn, QThread::currentThreadId());
}

void FrontendTest::escapeGivesTheDismissAnswer() {
    QtFrontend frontend;
    for (BoxButtons buttons : {BoxButtons::YesNo, BoxButtons::OkCancel, BoxButtons::YesNoCancel}) {
        QTimer poll;
        answerNextBox(poll, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(frontend.messageBox("?", "", BoxIcon::Question, buttons), dismissAnswer(buttons));
    }
    QTimer poll;
    answerNextBox(poll, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(frontend.messageBox("!", "", BoxIcon::Warning, BoxButtons::Ok), BoxAnswer::Ok);
}

void FrontendTest::closingReleasesAWaitingCaller() {
    QtFrontend frontend;
    BoxAnswer answer = BoxAnswer::Ok;
    bool releasedWhileShown = false;
    const BackgroundCall* callPointer = nullptr;
    QTimer poll;
    answerNextBox(poll, [&](QMessageBox* box) {
        // The program ends while the box is still up.
        frontend.close();
        QTimer::singleShot(0, box, [&, box] {
            QTRY_VERIFY(callPointer->done());
            releasedWhileShown = box->isVisible();
            box->reject();
        });
    });
    {
        BackgroundCall call(frontend, [&] {
            answer = frontend.messageBox("Stop?", "", BoxIcon::Question, BoxButtons::OkCancel);
        });
        callPointer = &call;
        QTRY_VERIFY(call.done());
    }
    QVERIFY(releasedWhileShown);
    QCOMPARE(answer, BoxAnswer::Cancel);
    QTRY_VERIFY(shownBox() == nullptr);

    // After closing, other threads get their answer at once and see no box.
    {
        BackgroundCall late(frontend, [&] {
            answer = frontend.messageBox("Late", "", BoxIcon::Question, BoxButtons::YesNo);
        });
        QTRY_VERIFY(late.done());
    }
    QCOMPARE(answer, BoxAnswer::No);
    QTest::qWait(50);
    QVERIFY(shownBox() == nullptr);
}

void FrontendTest::shellOpenReportsAMissingFile() {
    QtFrontend frontend;
    std::vector<QString> opened;
    std::vector<Qt::HANDLE> openedOn;
    std::vector<std::function<void(bool)>> pending;
    frontend.setOpener([&](const QString& path, std::function<void(bool)> done) {
        opened.push_back(path);
        openedOn.push_back(QThread::currentThreadId());
        pending.push_back(std::move(done));
    });
    std::vector<bool> results;
    const auto record = [&](bool ok) { results.push_back(ok); };
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    frontend.shellOpen((folder.path() + "/KVQ_Nyra.CHM").toStdString(), record);
    QCoreApplication::processEvents();
    QVERIFY(opened.empty());
    QCOMPARE(results, std::vector<bool>{false});

    const QString log = folder.path() + "/log.txt";
    QFile file(log);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    frontend.shellOpen(log.toStdString(), record);
    QCOMPARE(opened.size(), std::size_t{1});
    // The answer is the opener's, whenever it comes.
    QCOMPARE(results.size(), std::size_t{1});
    pending[0](true);
    QCOMPARE(results, (std::vector<bool>{false, true}));

    {
        BackgroundCall call(frontend, [&] { frontend.shellOpen(log.toStdString(), record); });
        QTRY_VERIFY(call.done());
        QTRY_COMPARE(opened.size(), std::size_t{2});
    }
    QCOMPARE(opened[0], QFileInfo(log).absoluteFilePath());
    QCOMPARE(opened[1], QFileInfo(log).absoluteFilePath());
    QCOMPARE(openedOn[1], QThread::currentThreadId());
    pending[1](false);
    QCOMPARE(results, (std::vector<bool>{false, true, false}));
}

void FrontendTest::xdgOpenIsJudgedByItsExitStatus() {
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString script = bin.path() + "/xdg-open";
    const auto writeOpener = [&](const QByteArray& body) {
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
    };
    const QByteArray oldPath = qgetenv("PATH");
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });
    // The fake opener alone: /bin/sh runs it by its full path.
    qputenv("PATH", bin.path().toLocal8Bit());

    QtFrontend frontend;
    const auto openWith = [&](const QByteArray& body) {
        writeOpener(body);
        std::optional<bool> result;
        frontend.openWithXdgOpen(script, [&](bool ok) { result = ok; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 20000))
            return std::optional<bool>();
        return result;
    };
    // No program for the file: xdg-open gives up with status 3.
    QCOMPARE(openWith("exit 3"), std::optional<bool>(false));
    QCOMPARE(openWith("exit 4"), std::optional<bool>(false));
    QCOMPARE(openWith("exit 0"), std::optional<bool>(true));
    // The argument is the file, untouched.
    QCOMPARE(openWith("[ \"$1\" = \"" + script.toLocal8Bit() + "\" ] && exit 0\nexit 1"),
             std::optional<bool>(true));

    // No xdg-open at all.
    QVERIFY(QFile::remove(script));
    std::optional<bool> result;
    frontend.openWithXdgOpen(script, [&](bool ok) { result = ok; });
    QCOMPARE(result, std::optional<bool>(false));
}

void FrontendTest::chineseTextsTranslateTheToolkitsButtons() {
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(translations + "/qtbase_zh_CN.qm"))
        QSKIP("qtbase_zh_CN.qm is not installed (package qt6-translations-l10n)");
    QtFrontend frontend;
    const auto yesNoButtons = [&] {
        QStringList texts;
        QTimer poll;
        answerNextBox(poll, [&](QMessageBox* box) {
            texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        frontend.messageBox("continue?", "Notice", BoxIcon::Question, BoxButtons::YesNo);
        return texts;
    };
    const QStringList english = yesNoButtons();
    QCOMPARE(english, (QStringList{"&Yes", "&No"}));

    frontend.useLanguage("zh_CN");
    QCOMPARE(frontend.installedLanguage(), QStringLiteral("zh_CN"));
    const QStringList chinese = yesNoButtons();
    QCOMPARE(chinese.size(), 2);
    QVERIFY2(chinese[0].contains(QChar(0x662F)), qPrintable(chinese[0]));  // 是
    QVERIFY2(chinese[1].contains(QChar(0x5426)), qPrintable(chinese[1]));  // 否
    QDialogButtonBox okBox(QDialogButtonBox::Ok);
    QVERIFY(okBox.button(QDialogButtonBox::Ok)->text() != QStringLiteral("&OK"));

    // English texts, or a language without a translation: the toolkit's own texts again.
    frontend.useLanguage("en");
    QCOMPARE(yesNoButtons(), english);
    frontend.useLanguage("zh_CN");
    frontend.useLanguage("xx");
    QCOMPARE(frontend.installedLanguage(), QString());
    QCOMPARE(yesNoButtons(), english);
}

void FrontendTest::saveDialogUsesFilterAndDefaultExtension() {
    QtFrontend frontend;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    FileDialogRequest request;
    request.title = "Save as";
    request.filter = "*.bin;*.rom(*.bin;*.rom)|*.bin;*.rom|*.*|*.*||";
    request.defaultExtension = "bin";
    request.initialPath = folder.path().toStdString();

    std::optional<std::string> chosen{"unset"};
    QString title, folderShown;
    QStringList filters;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        title = dialog->windowTitle();
        mode = dialog->acceptMode();
        filters = dialog->nameFilters();
        folderShown = QDir(dialog->directory()).absolutePath();
        dialog->selectFile(folder.path() + "/image");
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    poll.start(10);
    {
        BackgroundCall call(frontend, [&] { chosen = frontend.saveFileDialog(request); });
        QTRY_VERIFY(call.done());
    }
    QCOMPARE(title, QStringLiteral("Save as"));
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QCOMPARE(filters, QString::fromStdString(qtFilterString(request.filter)).split(";;"));
    QCOMPARE(folderShown, QDir(folder.path()).absolutePath());
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), folder.path() + "/image.bin");
}

void FrontendTest::cancelledOpenDialogChoosesNothing() {
    QtFrontend frontend;
    FileDialogRequest request;
    request.filter = "*.*|*.*||";
    std::vector<std::string> chosen{"unset"};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    });
    poll.start(10);
    {
        BackgroundCall call(frontend, [&] { chosen = frontend.openFileDialog(request); });
        QTRY_VERIFY(call.done());
    }
    QVERIFY(chosen.empty());
}

// Qt's own dialog in the Chinese interface: folder types and dates in
// Chinese, and every detail whole in its column.
void FrontendTest::chineseFileDialogShowsWholeChineseDetails() {
    QtFrontend frontend;
    frontend.useLanguage("zh_CN");
    QTRY_COMPARE(frontend.installedLanguage(), QStringLiteral("zh_CN"));
    auto english = qScopeGuard([&] { frontend.useLanguage(""); });
    QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"),
             QStringLiteral("文件夹"));
    QCOMPARE(QLocale().name(), QStringLiteral("zh_CN"));

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkdir("sub"));
    QFile file(folder.path() + "/fw.bin");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(56 * 1024 + 321, '\x5A'));
    file.close();
    FileDialogRequest request;
    request.filter = "*.*|*.*||";
    request.initialPath = folder.path().toStdString();

    QStringList problems;
    int rowsSeen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* view = dialog ? dialog->findChild<QTreeView*>() : nullptr;
        if (!view || view->model()->rowCount(view->rootIndex()) < 2)
            return;  // the folder is still being read
        poll.stop();
        const QLocale chinese(QStringLiteral("zh_CN"));
        for (int row = 0; row < 2; ++row) {
            ++rowsSeen;
            const QModelIndex name = view->model()->index(row, 0, view->rootIndex());
            const QFileInfo info(folder.path() + "/" + name.data().toString());
            const QString type = name.siblingAtColumn(2).data().toString();
            const QString date = name.siblingAtColumn(3).data().toString();
            if (info.isDir() && type != QStringLiteral("文件夹"))
                problems << "type " + type;
            if (date != chinese.toString(info.lastModified(), QLocale::ShortFormat))
                problems << "date " + date;
            for (int column = 1; column <= 3; ++column) {
                const QString text = name.siblingAtColumn(column).data().toString();
                if (view->header()->sectionSize(column) <
                    view->fontMetrics().horizontalAdvance(text))
                    problems << "clipped " + text;
            }
        }
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    });
    poll.start(10);
    {
        BackgroundCall call(frontend, [&] { frontend.openFileDialog(request); });
        QTRY_VERIFY(call.done());
    }
    QCOMPARE(rowsSeen, 2);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void FrontendTest::skinIsLoadedOrIgnored() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(app);
    const QString before = app->styleSheet();
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(!loadSkin(*app, folder.path() + "/CODE/Office2007.cjstyles"));
    QCOMPARE(app->styleSheet(), before);

    QVERIFY(QDir(folder.path()).mkdir("CODE"));
    const QString sheet = QStringLiteral("QPushButton { color: #123456; }");
    QFile file(folder.path() + "/CODE/Office2007.cjstyles");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(sheet.toUtf8());
    file.close();
    QVERIFY(loadSkin(*app, file.fileName()));
    QCOMPARE(app->styleSheet(), sheet);
    app->setStyleSheet(before);
}

void FrontendTest::unavailableUsbFindsNothingAndFails() {
    const UsbApi& usb = unavailableUsbApi();
    QVERIFY(usb.complete());
    usb.init();
    QCOMPARE(usb.findBusses(), 0);
    QCOMPARE(usb.findDevices(), 0);
    QVERIFY(usb.getBusses() == nullptr);
    QVERIFY(usb.open(nullptr) == nullptr);
    char bytes[4] = {};
    QVERIFY(usb.bulkWrite(nullptr, 1, bytes, 4, 100) < 0);
    QVERIFY(usb.bulkRead(nullptr, 0x83, bytes, 4, 100) < 0);
    QVERIFY(usb.interruptWrite(nullptr, 2, bytes, 4, 100) < 0);
    QVERIFY(usb.claimInterface(nullptr, 0) < 0);
}

}  // namespace nyra::gui::test
