// SPDX-License-Identifier: GPL-3.0-or-later
// The chip fill window over the real core: its texts and the data field of
// the chip, Enter fills without closing, nothing but cancel closes it and
// not while the chip is written, and a stray character is taken out of a
// number field with the caret where it was.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "chip_fill_dialog.h"
#include "gui_tests.h"
#include "ops/chip_fill_job.h"
#include "simulated_program.h"

namespace nyra::gui::test {

namespace {

// Opens the chip fill window from its menu command and runs check inside it.
template <typename Check>
bool withChipFillDialog(SimulatedProgram& program, Check check) {
    bool shown = false;
    program.state.showChipFillWindow = [&](ChipFillWindow& window) {
        ChipFillDialog dialog(window, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            check(dialog, window);
            if (dialog.isVisible())
                dialog.done(QDialog::Accepted);
        });
        dialog.exec();
    };
    program.core.command(kCmdChipFill);
    return shown;
}

bool selectDevice(AppState& state, const std::string& device) {
    for (std::uint32_t i = 0; i < state.catalogue().count(); ++i) {
        if (state.catalogue().record(i)->device == device)
            return state.selection().selectRecord(i);
    }
    return false;
}

}  // namespace

void ChipFillDialogTest::opensWithItsTextsAndTheDataFieldOfTheChip() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QVERIFY(withChipFillDialog(program, [&](ChipFillDialog& dialog, ChipFillWindow&) {
        QCOMPARE(dialog.windowTitle(), program.text(kChipFillTitle));
        QCOMPARE(dialog.actionButton()->text(), program.text(ftext(77)));
        QCOMPARE(dialog.cancelButton()->text(), program.text(ftext(76)));
        QCOMPARE(dialog.browseButton()->text(), program.text(ftext(98)));
        QCOMPARE(dialog.fileMode()->text(), program.text(ftext(135)));
        QCOMPARE(dialog.field(kChipFillAddress)->text(), QStringLiteral("0"));
        QCOMPARE(dialog.field(kChipFillLength)->text(), QStringLiteral("1"));
        QCOMPARE(dialog.field(kChipFillByte)->text(), QStringLiteral("FF"));
        QCOMPARE(dialog.field(kChipFillAddress)->maxLength(), 8);
        QCOMPARE(dialog.field(kChipFillLength)->maxLength(), 8);
        QCOMPARE(dialog.field(kChipFillByte)->maxLength(), 2);
        QCOMPARE(dialog.field(kChipFillWord)->maxLength(), 4);
        QVERIFY(dialog.field(kChipFillByte)->isVisible());
        QVERIFY(!dialog.field(kChipFillWord)->isVisible());
        auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("path"));
        QVERIFY(path && !path->isEnabled() && !dialog.browseButton()->isEnabled());

        // Fill-file mode: the file and its length instead of the value.
        QCheckBox* fileMode = dialog.fileMode();
        QTest::mouseClick(fileMode, Qt::LeftButton, {}, QPoint(6, fileMode->height() / 2));
        QVERIFY(path->isEnabled() && dialog.browseButton()->isEnabled());
        QVERIFY(!dialog.field(kChipFillByte)->isEnabled());
        QVERIFY(!dialog.field(kChipFillLength)->isEnabled());
        const QString file = program.dataFile("fill.bin", QByteArray(300, 'x'));
        program.frontend.chooseFile(file.toStdString());
        QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
        QCOMPARE(path->text(), file);
        QCOMPARE(dialog.field(kChipFillLength)->text(), QStringLiteral("300"));
    }));

    QVERIFY(selectDevice(program.state, "93C66(x16)"));
    QVERIFY(withChipFillDialog(program, [&](ChipFillDialog& dialog, ChipFillWindow&) {
        QVERIFY(dialog.field(kChipFillWord)->isVisible());
        QVERIFY(dialog.field(kChipFillWord)->isEnabled());
        QVERIFY(!dialog.field(kChipFillByte)->isVisible());
        QCOMPARE(dialog.field(kChipFillWord)->text(), QStringLiteral("FFFF"));
        QVERIFY2(!dialog.fileMode()->isChecked(), "a new window starts without the file");
        if (const char* shot = std::getenv("NYRA_SCREENSHOT_CHIP_FILL"))
            dialog.grab().save(QString::fromLocal8Bit(shot));
    }));
}

void ChipFillDialogTest::enterFillsAndOnlyCancelClosesOnceTheChipIsWritten() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QVERIFY(withChipFillDialog(program, [&](ChipFillDialog& dialog, ChipFillWindow& window) {
        // The worker is held where the chip is being written, until let go.
        std::atomic<bool> held{false};
        std::atomic<bool> release{false};
        const Panel::Token token = window.panel().subscribe([&](const PanelChange& change) {
            if (change.id != kChipFillCancel || change.property != PanelProperty::Enabled ||
                window.panel().enabled(kChipFillCancel))
                return;
            held = true;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!release && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        QLineEdit* byte = dialog.field(kChipFillByte);
        byte->selectAll();
        QTest::keyClicks(byte, QStringLiteral("a5"));
        QCOMPARE(byte->text(), QStringLiteral("A5"));
        QTest::keyClick(byte, Qt::Key_Return);
        QTRY_VERIFY(held.load());
        QTRY_VERIFY(!dialog.cancelButton()->isEnabled());
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        dialog.close();
        QVERIFY(dialog.isVisible());

        release = true;
        QTRY_COMPARE(dialog.status()->text(), program.text(itext(100)));
        QTRY_VERIFY(dialog.cancelButton()->isEnabled());
        window.panel().unsubscribe(token);
        QCOMPARE(program.simulator.chipContents(0).at(0), std::uint8_t{0xA5});
        QVERIFY2(dialog.isVisible(), "the action leaves the window open");

        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }));
}

void ChipFillDialogTest::aStrayCharacterIsTakenOutWithTheCaretKept() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    program.frontend.clearRecord();
    QVERIFY(withChipFillDialog(program, [&](ChipFillDialog& dialog, ChipFillWindow& window) {
        QLineEdit* address = dialog.field(kChipFillAddress);
        address->selectAll();
        QTest::keyClicks(address, QStringLiteral("12"));
        address->setCursorPosition(1);
        QTest::keyClick(address, Qt::Key_G);
        QCOMPARE(address->text(), QStringLiteral("12"));
        QCOMPARE(address->cursorPosition(), 1);
        QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
        QCOMPARE(program.frontend.boxes()[0].text, program.state.text(itext(8)));

        // A hex letter is no fault: it is shown in upper case where it was typed.
        QTest::keyClick(address, Qt::Key_B);
        QCOMPARE(address->text(), QStringLiteral("1B2"));
        QCOMPARE(address->cursorPosition(), 2);
        QLineEdit* length = dialog.field(kChipFillLength);
        length->setCursorPosition(1);
        QTest::keyClick(length, Qt::Key_B);
        QCOMPARE(length->text(), QStringLiteral("1"));
        QCOMPARE(length->cursorPosition(), 1);
        QCOMPARE(program.frontend.boxes().size(), std::size_t{2});
        QCOMPARE(window.panel().text(kChipFillAddress), std::string("1B2"));
    }));
}

}  // namespace nyra::gui::test
