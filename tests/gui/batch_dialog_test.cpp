// SPDX-License-Identifier: GPL-3.0-or-later
// The batch window in Qt: shown by the batch button only while auto-identify
// is on, its controls following the mode, and hidden again by exit.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "batch/batch_window.h"
#include "batch_dialog.h"
#include "gui_tests.h"
#include "simulated_program.h"

namespace nyra::gui::test {

void BatchDialogTest::theBatchButtonShowsItOnlyWithAutoIdentify() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    BatchDialog dialog(program.state.batchWindow(), program.window.get());
    program.state.showBatchWindow = [&] { dialog.show(); };

    program.core.command(kCmdAutoIdentify);
    QVERIFY(!program.state.autoIdentifyOn());
    program.frontend.clearRecord();
    program.core.command(kBtnBatch);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
    QCOMPARE(program.frontend.boxes()[0].text, program.text(itext(12)).toStdString());

    program.core.command(kCmdAutoIdentify);
    program.core.command(kBtnBatch);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), program.text(ftext(111)));

    auto* mode = dialog.findChild<QComboBox*>(QStringLiteral("list%1").arg(batch_ids::kMode));
    auto* address =
        dialog.findChild<QLineEdit*>(QStringLiteral("field%1").arg(batch_ids::kFillAddress));
    QVERIFY(mode && address);
    QCOMPARE(mode->count(), 4);
    QVERIFY(!address->isEnabled());
    QVERIFY(!dialog.documentList()->isEnabled());
    mode->setCurrentIndex(2);
    QVERIFY(address->isEnabled());
    QVERIFY(!dialog.documentList()->isEnabled());
    mode->setCurrentIndex(1);
    QVERIFY(!address->isEnabled());
    QVERIFY(dialog.documentList()->isEnabled());

    // Added documents show, and a click selects in the core.
    program.frontend.chooseFiles({"/x/b.bin", "/x/a.bin"});
    QTest::mouseClick(
        dialog.findChild<QPushButton*>(QStringLiteral("button%1").arg(batch_ids::kAdd)),
        Qt::LeftButton);
    QTRY_COMPARE(dialog.documentList()->count(), 2);
    QCOMPARE(dialog.documentList()->item(0)->text(), QStringLiteral("/x/a.bin"));
    const QRect first = dialog.documentList()->visualItemRect(dialog.documentList()->item(0));
    QTest::mouseClick(dialog.documentList()->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(program.state.batchWindow().selection(), (std::vector<bool>{true, false}));

    QTest::mouseClick(
        dialog.findChild<QPushButton*>(QStringLiteral("button%1").arg(batch_ids::kExit)),
        Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    program.state.showBatchWindow = nullptr;
}

}  // namespace nyra::gui::test
