// SPDX-License-Identifier: GPL-3.0-or-later
// The find window over the real core: Enter searches, the action button
// goes on to the next match, and only cancel closes it and ends the search.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "find_dialog.h"
#include "gui_tests.h"
#include "simulated_program.h"

namespace nyra::gui::test {

void FindDialogTest::enterSearchesAndOnlyCancelCloses() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QByteArray bytes(0x4000, '\0');
    bytes.replace(0x123, 3, QByteArray("\xC0\xFF\xEE", 3));
    bytes.replace(0x2345, 3, QByteArray("\xC0\xFF\xEE", 3));
    const QString file = program.dataFile("data.bin", bytes);
    QVERIFY(program.state.fileLoader().loadFile(file.toStdString(), true));
    const auto signal = [&] { return program.state.workerShared().jobCode.load(); };
    const auto focused = [&] {
        const HexViewModel& view = program.state.hexView();
        return (view.viewStart() + static_cast<unsigned>(view.focusRow() - 1)) * 16u +
               static_cast<unsigned>(view.focusColumn() - 1);
    };
    bool shown = false;
    program.state.showFindWindow = [&](FindWindow& window) {
        FindDialog dialog(window, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            QCOMPARE(dialog.windowTitle(), program.text(ids::kFindTitle));
            QCOMPARE(dialog.actionButton()->text(), program.text(ftext(77)));
            QTest::keyClicks(dialog.textField(), QStringLiteral("c0ffee"));
            QTest::keyClick(dialog.textField(), Qt::Key_Return);
            QTRY_COMPARE(signal(), find_signal::kWaiting);
            QCOMPARE(focused(), 0x123u);
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.actionButton()->text(), program.text(itext(170)));

            QTest::mouseClick(dialog.actionButton(), Qt::LeftButton);
            QTRY_VERIFY(signal() == find_signal::kWaiting && focused() == 0x2345u);
            if (const char* path = std::getenv("NYRA_SCREENSHOT_FIND"))
                program.window->grab().save(QString::fromLocal8Bit(path));

            // The character mode button takes the mark from the hex one.
            QTest::mouseClick(dialog.characterMode(), Qt::LeftButton);
            QVERIFY(window.panel().checked(ids::kFindCharacterMode));
            QVERIFY(!window.panel().checked(ids::kFindHexMode));

            QTest::keyClick(&dialog, Qt::Key_Escape);  // cancel: the waiting job ends
            QTRY_COMPARE(signal(), kIdleJobCode);
            QVERIFY(!dialog.isVisible());
        });
        dialog.exec();
    };
    program.core.command(ids::kCmdFind);
    QVERIFY(shown);
}

}  // namespace nyra::gui::test
