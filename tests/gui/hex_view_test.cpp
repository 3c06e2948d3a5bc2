// SPDX-License-Identifier: GPL-3.0-or-later
// The hex grid as the user sees it: the real core and window, a data file
// loaded, cells clicked and typed into.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include "gui_tests.h"
#include "hex_grid.h"
#include "simulated_program.h"

namespace nyra::gui::test {

void HexViewTest::gridStartsWithAddressesAndErasedCells() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    HexGrid* grid = program.window->hexGrid();
    QTRY_COMPARE(grid->cellText(0, 0), QStringLiteral("  ADDR"));
    QCOMPARE(grid->cellText(0, 1), QStringLiteral("0"));
    QCOMPARE(grid->cellText(0, 16), QStringLiteral("F"));
    QCOMPARE(grid->cellText(0, 17), QStringLiteral("     ASCII"));
    QCOMPARE(grid->cellText(1, 0), QStringLiteral("00000000"));
    QCOMPARE(grid->cellText(20, 0), QStringLiteral("00000130"));
    QCOMPARE(grid->cellText(5, 7), QStringLiteral("FF"));
    QCOMPARE(grid->cellText(5, 17), QStringLiteral("................"));
}

void HexViewTest::clickingACellAndTypingEditsTheWorkingFile() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString source =
        program.dataFile("data.bin", QByteArray("\x3A\x01\x02\x03\x04\x05\x06\x07\x08\x09", 10));
    QVERIFY(!source.isEmpty());
    std::vector<std::string> dropped{source.toStdString()};
    program.core.windowMessage(kMsgFileDropped, reinterpret_cast<std::uintptr_t>(&dropped));
    HexGrid* grid = program.window->hexGrid();
    QTRY_COMPARE(grid->cellText(1, 1), QStringLiteral("3A"));
    QTRY_VERIFY(program.window->windowTitle().contains(QStringLiteral("data.bin")));

    program.core.command(kCmdEditMode);
    QVERIFY(program.state.hexView().editMode());
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(1, 1).topLeft() + QPoint(3, 5));
    auto* editor = qobject_cast<QLineEdit*>(program.window->control(kEditHexCell));
    QTRY_VERIFY(editor->isVisible());
    // The editor covers its cell in the grid's font, with room for both digits
    // (QLineEdit keeps 2 pixels either side of its text).
    const QRect cell = grid->cellRect(1, 1);
    QVERIFY(cell.contains(editor->geometry()));
    QVERIFY(editor->width() >= cell.width() - 2);
    QCOMPARE(editor->font(), grid->font());
    QVERIFY(editor->fontMetrics().horizontalAdvance(QStringLiteral("DB")) + 4 <=
            editor->contentsRect().width() - editor->textMargins().left() -
                editor->textMargins().right());
    QTest::keyClick(editor, Qt::Key_5);
    QTest::keyClick(editor, Qt::Key_B);
    QFile working(program.folder.path() + "/u_mod1.dll");
    QVERIFY(working.open(QIODevice::ReadOnly));
    QCOMPARE(static_cast<unsigned char>(working.read(1).at(0)), 0x5Bu);
    QTRY_COMPARE(grid->cellText(1, 1), QStringLiteral("5B"));
    QTRY_COMPARE(program.state.panel().text(kTextFileChecksum),
                 std::string("0000000088"));  // 0x5B + 1 + 2 + ... + 9
    // The typing ran on to the next byte.
    QTRY_COMPARE(grid->focusCell(), (std::pair<int, int>{1, 2}));
    QImage shot = program.window->grab().toImage();
    if (const char* path = std::getenv("NYRA_SCREENSHOT"))
        shot.save(QString::fromLocal8Bit(path));
}

void HexViewTest::aFileDraggedOntoTheGridLoads() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString source = program.dataFile("dragged.bin", QByteArray("\xC3\x7E", 2));
    QVERIFY(!source.isEmpty());
    HexGrid* grid = program.window->hexGrid();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(source)});
    const QPoint at = grid->cellRect(3, 3).center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid, &drop);
    QTRY_COMPARE(program.state.fileLoader().loadedPath(), source.toStdString());
    QTRY_COMPARE(grid->cellText(1, 1), QStringLiteral("C3"));
    QCOMPARE(grid->cellText(1, 2), QStringLiteral("7E"));
    QTRY_VERIFY(program.window->windowTitle().contains(QStringLiteral("dragged.bin")));
}

void HexViewTest::theScrollBarTakesTheFocusFromTheEditor() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString source = program.dataFile("long.bin", QByteArray(64 * 16, '\x11'));
    QVERIFY(!source.isEmpty());
    QVERIFY(program.state.fileLoader().loadFile(source.toStdString(), true));
    program.window->show();
    program.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(program.window.get()));
    program.core.command(kCmdEditMode);
    HexGrid* grid = program.window->hexGrid();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(2, 2).topLeft() + QPoint(3, 5));
    auto* editor = qobject_cast<QLineEdit*>(program.window->control(kEditHexCell));
    auto* bar = qobject_cast<QScrollBar*>(program.window->control(kScrollHex));
    QTRY_VERIFY(editor->hasFocus());

    // The editor follows its byte up a row and gets the keyboard back.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QTRY_COMPARE(grid->cellText(1, 0), QStringLiteral("00000010"));
    QCOMPARE(grid->focusCell(), (std::pair<int, int>{1, 2}));
    QTRY_VERIFY(editor->hasFocus());
    // Scrolled out of the view: the editor hides and the grid has the keyboard.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QTRY_VERIFY(!editor->isVisible());
    QTRY_VERIFY(grid->hasFocus());

    // With edit mode off nothing reopens: the bar keeps the focus.
    program.core.command(kCmdEditMode);
    QVERIFY(!program.state.hexView().editMode());
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QTRY_VERIFY(bar->hasFocus());
    QVERIFY(!editor->isVisible());
}

void HexViewTest::aReadShowsTheChipInTheGridWithItsTitle() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    std::vector<std::uint8_t> contents = program.simulator.chipContents(0);
    for (std::size_t i = 0; i < 64; ++i)
        contents[i] = static_cast<std::uint8_t>(0x41 + i % 26);
    QVERIFY(program.simulator.loadChipContents(0, contents));

    program.core.command(kBtnRead);
    program.state.worker().waitUntilIdle();
    HexGrid* grid = program.window->hexGrid();
    QTRY_COMPARE(grid->cellText(1, 1), QStringLiteral("41"));
    QTRY_COMPARE(grid->cellText(1, 17), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QCOMPARE(grid->cellText(5, 1), QStringLiteral("FF"));
    QTRY_VERIFY(program.window->windowTitle().endsWith(
        QString::fromStdString(program.state.selection().selectedDevice()) + "_8192.00KB"));
    QVERIFY(program.statusLine()->text().startsWith(program.text(itext(78))));
    QVERIFY(!program.window->control(kProgressBar)->isVisible());
    if (const char* path = std::getenv("NYRA_SCREENSHOT_READ"))
        program.window->grab().toImage().save(QString::fromLocal8Bit(path));
}

void HexViewTest::theAutoButtonErasesProgramsAndVerifies() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QByteArray bytes(5000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    const QString source = program.dataFile("image.bin", bytes);
    QVERIFY(program.state.fileLoader().loadFile(source.toStdString(), true));

    program.core.command(kBtnAuto);
    program.state.worker().waitUntilIdle();
    QTRY_VERIFY(program.statusLine()->text().startsWith(program.text(itext(91))));
    const auto chip = program.simulator.chipContents(0);
    QVERIFY(std::equal(bytes.begin(), bytes.end(), chip.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    QCOMPARE(chip[5000], std::uint8_t{0xFF});
    QVERIFY2(program.window->control(kBtnErase)->isEnabled(), "unlocked after the run");
    if (const char* path = std::getenv("NYRA_SCREENSHOT_AUTO"))
        program.window->grab().toImage().save(QString::fromLocal8Bit(path));
}

}  // namespace nyra::gui::test
