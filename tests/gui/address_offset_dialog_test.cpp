// SPDX-License-Identifier: GPL-3.0-or-later
// The address-offset window over the real core: a .cap file opens it with its
// fixed offset, and OK loads the file's tail as the data.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "address_offset_dialog.h"
#include "gui_tests.h"
#include "hex_grid.h"
#include "simulated_program.h"
#include "tools/address_offset.h"

namespace nyra::gui::test {

void AddressOffsetDialogTest::capFileOpensTheWindowAndOkLoadsTheTail() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    QByteArray bytes(4096, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i / 16);
    const QString source = program.folder.path() + "/image.cap";
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    bool shown = false;
    program.state.showAddressOffset = [&](AddressOffsetTool& tool) {
        AddressOffsetDialog dialog(tool, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            shown = true;
            const auto fields = dialog.findChildren<QLineEdit*>();
            bool offsetShown = false;
            for (QLineEdit* field : fields)
                offsetShown = offsetShown || (field->text() == "2048" && field->isReadOnly());
            QVERIFY(offsetShown);
            if (const char* path = std::getenv("NYRA_SCREENSHOT_DIALOG"))
                dialog.grab().save(QString::fromLocal8Bit(path));
            for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                if (button->isDefault()) {
                    button->click();
                    break;
                }
            }
        });
        dialog.exec();
    };
    std::vector<std::string> dropped{source.toStdString()};
    program.core.windowMessage(kMsgFileDropped, reinterpret_cast<std::uintptr_t>(&dropped));
    QVERIFY(shown);
    // Byte 2048 of the file (value 0x80) is now at address 0.
    QCOMPARE(program.state.dataBuffer().dataLength(), 2048u);
    QTRY_COMPARE(program.window->hexGrid()->cellText(1, 1), QStringLiteral("80"));
}

void AddressOffsetDialogTest::typingALetterIntoTheOffsetWarnsAndTakesItOut() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    program.frontend.clearRecord();
    QString afterLetter;
    int caret = -1;
    program.state.showAddressOffset = [&](AddressOffsetTool& tool) {
        AddressOffsetDialog dialog(tool, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            auto* offset = dialog.findChild<QLineEdit*>(QStringLiteral("offset"));
            QVERIFY(offset && !offset->isReadOnly());
            offset->selectAll();
            QTest::keyClicks(offset, QStringLiteral("12"));
            offset->setCursorPosition(1);
            QTest::keyClick(offset, Qt::Key_G);
            afterLetter = offset->text();
            caret = offset->cursorPosition();
            dialog.reject();
        });
        dialog.exec();
    };
    program.core.command(kCmdOffsetProgram);
    QCOMPARE(afterLetter, QStringLiteral("12"));
    QCOMPARE(caret, 1);
    const auto boxes = program.frontend.boxes();
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].icon, BoxIcon::Warning);
}

}  // namespace nyra::gui::test
