// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware upgrade window over the real core: its upgrade button waits
// for a file, its bar follows the job from another thread, and it stays open
// while an upgrade runs.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <thread>

#include "gui_tests.h"
#include "labelled_progress_bar.h"
#include "simulated_program.h"
#include "upgrade_dialog.h"

namespace nyra::gui::test {

namespace {

// Opens the upgrade window from its menu command and runs check inside it.
template <typename Check>
bool withUpgradeDialog(SimulatedProgram& program, Check check) {
    bool shown = false;
    program.state.showUpgradeWindow = [&](UpgradeWindow& window) {
        UpgradeDialog dialog(
            window, [&](int id) { program.state.command(id); }, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            check(dialog, window);
            dialog.done(QDialog::Accepted);
        });
        dialog.exec();
    };
    program.core.command(ids::kCmdFirmwareUpgrade);
    return shown;
}

}  // namespace

void UpgradeDialogTest::theUpgradeButtonWaitsForAFile() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString file = program.dataFile("new.nyr", QByteArray("NYRF\x13xyz", 8));
    QVERIFY(withUpgradeDialog(program, [&](UpgradeDialog& dialog, UpgradeWindow&) {
        QCOMPARE(dialog.windowTitle(), program.text(ids::kUpgradeTitle));
        QVERIFY(!dialog.upgradeButton()->isEnabled());
        QCOMPARE(dialog.upgradeButton()->text(), program.text(ftext(74)));
        QCOMPARE(dialog.progressBar()->label(), program.text(itext(199)));
        QCOMPARE(dialog.progressBar()->value(), 0);

        program.frontend.chooseFile(file.toStdString());
        QTest::mouseClick(dialog.openButton(), Qt::LeftButton);
        QTRY_VERIFY(dialog.upgradeButton()->isEnabled());
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("path"))->text(), file);
        QCOMPARE(dialog.progressBar()->label(), program.text(itext(152)));
        QCOMPARE(program.frontend.dialogs().back().dialog.filter, std::string("(*.nyr)|*.nyr||"));
        if (const char* path = std::getenv("NYRA_SCREENSHOT_UPGRADE"))
            dialog.grab().save(QString::fromLocal8Bit(path));
    }));
}

void UpgradeDialogTest::theBarFollowsTheJobAndClosingWaitsForIt() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QVERIFY(withUpgradeDialog(program, [&](UpgradeDialog& dialog, UpgradeWindow& window) {
        // The job drives the bar from the worker thread.
        program.state.flags().upgradeRunning.store(true);
        std::thread worker([&window] { window.progress(40, "Writing:40%"); });
        worker.join();
        QTRY_COMPARE(dialog.progressBar()->label(), QStringLiteral("Writing:40%"));
        QCOMPARE(dialog.progressBar()->value(), 40);

        dialog.reject();
        QVERIFY(dialog.isVisible());
        dialog.close();
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());

        program.state.flags().upgradeRunning.store(false);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }));
}

}  // namespace nyra::gui::test
