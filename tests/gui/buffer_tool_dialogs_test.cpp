// SPDX-License-Identifier: GPL-3.0-or-later
// The file fill, data view and go-to windows over the real core: the typing
// check at the caret, Enter pressing the action, only cancel closing, and
// the go-to windows living side by side.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "buffer_tool_dialogs.h"
#include "gui_tests.h"
#include "ops/data_view_job.h"
#include "simulated_program.h"
#include "tools/file_fill.h"
#include "tools/go_to.h"

namespace nyra::gui::test {

namespace {

QByteArray workingBytes(SimulatedProgram& program) {
    const WorkingFile& file = program.state.dataBuffer().working();
    QByteArray bytes(static_cast<qsizetype>(file.length()), '\0');
    file.readAt(0, reinterpret_cast<std::uint8_t*>(bytes.data()),
                static_cast<std::size_t>(bytes.size()));
    return bytes;
}

}  // namespace

void BufferToolDialogsTest::fileFillTypesChecksAndFillsWithEnter() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString file = program.dataFile("data.bin", QByteArray(100, '\x11'));
    QVERIFY(program.state.fileLoader().loadFile(file.toStdString(), true));
    program.core.command(kCmdEditMode);
    QVERIFY(program.state.hexView().editMode());
    program.frontend.clearRecord();
    bool shown = false;
    program.state.showFileFillWindow = [&](FileFillWindow& window) {
        FileFillDialog dialog(window, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            QCOMPARE(dialog.windowTitle(), program.text(kFileFillTitle));
            QCOMPARE(dialog.actionButton()->text(), program.text(ftext(77)));
            QCOMPARE(dialog.cancelButton()->text(), program.text(ftext(76)));
            QCOMPARE(dialog.fromEndBox()->text(), program.text(ftext(107)));
            QLineEdit* address = dialog.field(kFileFillAddress);
            QLineEdit* length = dialog.field(kFileFillLength);
            QLineEdit* data = dialog.field(kFileFillData);
            QVERIFY(address && length && data);
            QCOMPARE(address->text(), QStringLiteral("0"));
            QCOMPARE(address->maxLength(), 8);
            QCOMPARE(length->maxLength(), 10);
            QCOMPARE(data->maxLength(), 2);

            // A stray letter goes with a warning, the caret stays where it was.
            address->clear();
            QTest::keyClicks(address, QStringLiteral("c8"));
            QCOMPARE(address->text(), QStringLiteral("C8"));
            address->setCursorPosition(1);
            QTest::keyClick(address, Qt::Key_X);
            QCOMPARE(address->text(), QStringLiteral("C8"));
            QCOMPARE(address->cursorPosition(), 1);
            QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
            QCOMPARE(program.frontend.boxes()[0].text, program.text(itext(8)).toStdString());

            length->selectAll();
            QTest::keyClicks(length, QStringLiteral("2"));
            QTest::keyClicks(data, QStringLiteral("5a"));
            QCOMPARE(data->text(), QStringLiteral("5A"));
            QTest::keyClick(data, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            const QByteArray bytes = workingBytes(program);
            QCOMPARE(bytes.size(), 202);
            QCOMPARE(bytes.mid(100, 100), QByteArray(100, '\xFF'));
            QCOMPARE(bytes.mid(200), QByteArray("\x5A\x5A"));

            // From the end: the address is the length and cannot be typed in.
            QTest::mouseClick(dialog.fromEndBox(), Qt::LeftButton);
            QCOMPARE(address->text(), QStringLiteral("CA"));
            QVERIFY(address->isReadOnly());
            QCOMPARE(address->cursorPosition(), 2);
            QTest::mouseClick(dialog.actionButton(), Qt::LeftButton);
            QCOMPARE(address->text(), QStringLiteral("CC"));
            QTest::mouseClick(dialog.fromEndBox(), Qt::LeftButton);
            QVERIFY(!address->isReadOnly());
            QCOMPARE(address->text(), QStringLiteral("0"));

            if (const char* path = std::getenv("NYRA_SCREENSHOT_FILL"))
                dialog.grab().save(QString::fromLocal8Bit(path));
            QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
        });
        dialog.exec();
    };
    program.core.command(kCmdFileFill);
    QVERIFY(shown);
    QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
}

void BufferToolDialogsTest::dataViewShowsTheResultWhenItArrives() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    std::vector<std::uint8_t> chip(8 * 1024 * 1024, 0xFF);
    chip[0x1234] = 0xA5;
    QVERIFY(program.simulator.loadChipContents(0, chip));
    QByteArray bytes(0x2000, '\0');
    bytes[0x1234] = '\x3C';
    const QString file = program.dataFile("data.bin", bytes);
    QVERIFY(program.state.fileLoader().loadFile(file.toStdString(), true));
    bool shown = false;
    program.state.showDataViewWindow = [&](DataViewWindow& window) {
        DataViewDialog dialog(window, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            // The menu's "&Data View..." without its accelerator and dots.
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Data View"));
            auto* fileData =
                dialog.findChild<QLabel*>(QStringLiteral("static%1").arg(kDataViewFileData));
            auto* chipData =
                dialog.findChild<QLabel*>(QStringLiteral("static%1").arg(kDataViewChipData));
            QVERIFY(fileData && chipData);
            QCOMPARE(chipData->text(), QStringLiteral("null"));
            QLineEdit* address = dialog.field(kDataViewAddress);
            address->selectAll();
            QTest::keyClicks(address, QStringLiteral("1234"));
            QTest::keyClick(address, Qt::Key_Enter);
            QTRY_COMPARE(chipData->text(), QStringLiteral("A5"));
            QCOMPARE(fileData->text(), QStringLiteral("3C"));
            QVERIFY(dialog.isVisible());
            if (const char* path = std::getenv("NYRA_SCREENSHOT_VIEW"))
                dialog.grab().save(QString::fromLocal8Bit(path));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
        });
        dialog.exec();
    };
    program.core.command(kCmdDataView);
    QVERIFY(shown);
}

void BufferToolDialogsTest::goToWindowsAreModelessAndIndependent() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    const QString file = program.dataFile("data.bin", QByteArray(0x8000, '\0'));
    QVERIFY(program.state.fileLoader().loadFile(file.toStdString(), true));
    std::vector<QPointer<GoToDialog>> dialogs;
    program.state.showGoToWindow = [&](std::unique_ptr<GoToWindow> window) {
        auto* dialog = new GoToDialog(std::move(window), program.window.get());
        dialogs.emplace_back(dialog);
        dialog->show();
    };
    program.core.command(kCmdGoTo);
    program.core.command(kCmdGoTo);
    QCOMPARE(dialogs.size(), std::size_t{2});
    QVERIFY(dialogs[0]->isVisible() && dialogs[1]->isVisible());
    QCOMPARE(dialogs[0]->windowTitle(), program.text(kGoToTitle));
    const auto focused = [&] {
        const HexViewModel& view = program.state.hexView();
        return (view.viewStart() + static_cast<unsigned>(view.focusRow() - 1)) * 16u +
               static_cast<unsigned>(view.focusColumn() - 1);
    };
    QTest::keyClicks(dialogs[0]->field(kGoToAddress), QStringLiteral("7ff0"));
    QTest::keyClicks(dialogs[1]->field(kGoToAddress), QStringLiteral("20"));
    QTest::keyClick(dialogs[0]->field(kGoToAddress), Qt::Key_Return);
    QCOMPARE(focused(), 0x7FF0u);
    QTest::keyClick(dialogs[1]->field(kGoToAddress), Qt::Key_Return);
    QCOMPARE(focused(), 0x20u);
    QVERIFY(dialogs[0]->isVisible());

    QTest::mouseClick(dialogs[0]->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(dialogs[0].isNull());  // closed and freed
    QVERIFY(dialogs[1]->isVisible());
    dialogs[1]->close();
    QTRY_VERIFY(dialogs[1].isNull());
}

}  // namespace nyra::gui::test
