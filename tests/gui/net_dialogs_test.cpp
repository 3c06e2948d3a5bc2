// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback form and the version window in Qt.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "feedback_dialog.h"
#include "gui_tests.h"
#include "list_window_dialog.h"
#include "net/feedback_form.h"
#include "simulated_program.h"

namespace nyra::gui::test {

using namespace feedback_ids;

void NetDialogsTest::feedbackFormSendsWhatWasTyped() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    NetDeployment deployment;
    deployment.smtpServer = "127.0.0.1";
    deployment.smtpPort = 1;  // nothing listens: the send fails at once
    program.state.setNetDeployment(deployment);
    FeedbackForm& form = program.state.feedbackForm();
    form.open();
    FeedbackDialog dialog(form, program.window.get());
    dialog.show();
    QCOMPARE(dialog.windowTitle(), program.text(ftext(78)));
    const auto label = [&](const char* name) {
        return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    QCOMPARE(label("subjectLabel"), program.text(ftext(79)));
    QCOMPARE(label("contentLabel"), program.text(ftext(80)));
    QCOMPARE(label("contactLabel"), program.text(ftext(81)));
    QCOMPARE(label("required"), program.text(ftext(82)));
    auto* send = dialog.findChild<QPushButton*>(QStringLiteral("send"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancel"));
    QVERIFY(send && cancel);
    QCOMPARE(send->text(), program.text(ftext(75)));
    QVERIFY(send->isDefault());
    if (const char* path = std::getenv("NYRA_SCREENSHOT_FEEDBACK"))
        dialog.grab().save(QString::fromLocal8Bit(path));

    // Nothing typed in the message: asked for, and the form stays.
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("subject")), "Hello");
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(program.frontend.boxes()[0].text), program.text(itext(184)));
    QVERIFY(dialog.isVisible());
    QCOMPARE(form.panel().text(kSubject), std::string("Hello"));

    // The message goes into the mail with a mail's line breaks.
    dialog.content()->setPlainText(QStringLiteral("line 1\nline 2"));
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("contact")), "bench 3");
    QTest::mouseClick(send, Qt::LeftButton);
    form.waitUntilSent();
    QCOMPARE(form.panel().text(kContent), std::string("line 1\r\nline 2"));
    QCOMPARE(form.panel().text(kContact), std::string("bench 3"));
    QCOMPARE(program.frontend.boxes().size(), std::size_t{2});
    QCOMPARE(QString::fromStdString(program.frontend.boxes()[1].text),
             program.text(itext(29)) + QStringLiteral(":Invalid winsock2 socket."));
    QTRY_VERIFY(send->isEnabled());
    QVERIFY(dialog.isVisible());

    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void NetDialogsTest::versionWindowShowsTheTable() {
    ListWindow window;
    window.title = "KVQ_Nyra";
    window.line = "http://www.example.com";
    window.columns = {{" ", 70}, {"Current", 70}, {"Latest", 70}, {"Note", 120}};
    window.rows = {{"Program", "2.1", "2.2", "New version"}, {"Firmware", "NULL", "2.4", "NULL"}};
    ListWindowDialog dialog(window);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("KVQ_Nyra"));
    QCOMPARE(dialog.line()->text(), QStringLiteral("http://www.example.com"));
    QTableWidget* table = dialog.table();
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->rowCount(), 2);
    const int widths[] = {70, 70, 70, 120};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(table->columnWidth(c), widths[c]);
        QCOMPARE(table->horizontalHeaderItem(c)->text(),
                 QString::fromStdString(window.columns[std::size_t(c)].header));
        QCOMPARE(table->horizontalHeaderItem(c)->textAlignment(), int(Qt::AlignCenter));
    }
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("2.2"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("NULL"));
    QCOMPARE(table->item(1, 3)->textAlignment(), int(Qt::AlignCenter));
    QVERIFY(table->showGrid());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    if (const char* path = std::getenv("NYRA_SCREENSHOT_VERSIONS"))
        dialog.grab().save(QString::fromLocal8Bit(path));
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

}  // namespace nyra::gui::test
