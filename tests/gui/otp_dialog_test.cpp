// SPDX-License-Identifier: GPL-3.0-or-later
// The OTP window in Qt: its buttons follow what detection found.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui_tests.h"
#include "otp/otp_window.h"
#include "otp_dialog.h"
#include "simulated_program.h"

namespace nyra::gui::test {

void OtpDialogTest::theButtonsFollowTheDetectedState() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    OtpWindow& otp = program.state.otpWindow();
    otp.open();
    OtpDialog dialog(otp, program.window.get());
    dialog.show();
    QCOMPARE(dialog.windowTitle(), program.text(ftext(24)));
    const auto button = [&](const char* name) {
        return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    };
    auto* lock = dialog.findChild<QCheckBox*>(QStringLiteral("lock"));
    QVERIFY(lock && button("detect") && button("program") && button("read"));
    for (const char* name : {"program", "read", "save", "verify", "blank"})
        QVERIFY2(!button(name)->isEnabled(), name);
    QVERIFY(!lock->isEnabled());
    QVERIFY(button("detect")->isEnabled() && button("open")->isEnabled());

    // Ready: program, read, verify and blank check, and the lock box.
    QTest::mouseClick(button("detect"), Qt::LeftButton);
    QTRY_VERIFY(button("program")->isEnabled());
    QVERIFY(button("read")->isEnabled() && button("verify")->isEnabled() &&
            button("blank")->isEnabled());
    QVERIFY(lock->isEnabled());
    QVERIFY(!button("save")->isEnabled());
    QTRY_VERIFY(dialog.log()->toPlainText().contains(program.text(itext(135))));
    QVERIFY(dialog.log()->toPlainText().contains(QStringLiteral("768bytes")));

    // Locked: no program, the box shown ticked and out of reach.
    QVERIFY(program.simulator.lockOtp(0));
    QTest::mouseClick(button("detect"), Qt::LeftButton);
    QTRY_VERIFY(!button("program")->isEnabled() && lock->isChecked());
    QTRY_VERIFY(button("read")->isEnabled());
    QVERIFY(!lock->isEnabled());

    // Failed: the programmer takes no parameters; nothing stays usable.
    std::string error;
    QVERIFY(program.simulator.setFault(0, "otp_refuse", "always", &error));
    QTest::mouseClick(button("detect"), Qt::LeftButton);
    QTRY_VERIFY(!button("read")->isEnabled());
    QTRY_VERIFY(dialog.log()->toPlainText().endsWith(program.text(itext(139))));
    QVERIFY(!button("program")->isEnabled() && !lock->isEnabled());

    // Program and verify want a file first.
    program.frontend.clearRecord();
    otp.press(otp_ids::kVerify);
    QCOMPARE(program.frontend.boxes().size(), std::size_t{1});
    QCOMPARE(program.frontend.boxes()[0].text, program.text(itext(180)).toStdString());
    otp.close();
}

}  // namespace nyra::gui::test
