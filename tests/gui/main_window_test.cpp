// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "app/clock.h"
#include "app_state_core.h"
#include "artwork.h"
#include "gui_tests.h"
#include "hex_grid.h"
#include "labelled_progress_bar.h"
#include "main_window.h"
#include "recording_core.h"
#include "shell/app_state.h"
#include "test_texts.h"
#include "ui/main_panel.h"
#include "ui/scripted_frontend.h"
#include "unavailable_usb.h"

namespace nyra::gui::test {

using namespace nyra::ids;

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The window over the program's own core, started in a folder of test texts.
struct ProgramFixture {
    ProgramFixture() {
        ok = folder.isValid() && writeTestTexts(folder.path());
        state.startUp(folder.path().toStdString());
        state.worker().waitUntilIdle();
        window = std::make_unique<MainWindow>(core);
    }
    ~ProgramFixture() {
        window.reset();
        state.shutdown();
    }

    QTemporaryDir folder;
    bool ok = false;
    ScriptedFrontend frontend;
    VirtualClock clock;
    AppState state{frontend, clock, unavailableUsbApi()};
    AppStateCore core{state};
    std::unique_ptr<MainWindow> window;
};

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    return {};
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 8 && std::abs(a.green() - b.green()) < 8 &&
           std::abs(a.blue() - b.blue()) < 8;
}

bool containsColour(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (near(image.pixelColor(x, y), colour))
                return true;
        }
    }
    return false;
}

QImage imageOf(const QIcon& icon, QSize size) {
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage asArgb(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

void MainWindowTest::everyControlOfTheTableIsBuilt() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString::fromUtf8(kMainWindowTitle));
    QVERIFY(!window.windowIcon().isNull());

    for (const ControlEntry& entry : kMainControls) {
        QWidget* widget = window.control(entry.id);
        QVERIFY2(widget, qPrintable(QString::number(entry.id)));
        QVERIFY(window.isAncestorOf(widget));
        QCOMPARE(window.findChild<QWidget*>(MainWindow::objectNameOf(entry.id)), widget);
        QCOMPARE(widget->isVisible(), !entry.startsHidden);
        bool rightKind = false;
        switch (entry.kind) {
            case ControlKind::Button:
            case ControlKind::PictureButton:
                rightKind = qobject_cast<QPushButton*>(widget) != nullptr;
                break;
            case ControlKind::CheckBox:
                rightKind = qobject_cast<QCheckBox*>(widget) != nullptr;
                break;
            case ControlKind::ScrollBar:
                rightKind = qobject_cast<QScrollBar*>(widget) != nullptr;
                break;
            case ControlKind::Edit:
                rightKind = qobject_cast<QLineEdit*>(widget) != nullptr &&
                            qobject_cast<QLineEdit*>(widget)->isReadOnly() == entry.readOnly;
                break;
            case ControlKind::DropList:
                rightKind = qobject_cast<QComboBox*>(widget) != nullptr;
                break;
            case ControlKind::Static:
                rightKind = qobject_cast<QLabel*>(widget) != nullptr;
                break;
            case ControlKind::ProgressBar:
                rightKind = qobject_cast<LabelledProgressBar*>(widget) != nullptr;
                break;
            case ControlKind::Grid:
                rightKind = qobject_cast<HexGrid*>(widget) != nullptr;
                break;
            case ControlKind::RichEdit:
                rightKind = qobject_cast<QTextEdit*>(widget) != nullptr &&
                            qobject_cast<QTextEdit*>(widget)->isReadOnly() == entry.readOnly;
                break;
            case ControlKind::GroupBox:
                rightKind = qobject_cast<QGroupBox*>(widget) != nullptr;
                break;
        }
        QVERIFY2(rightKind, qPrintable(QString::number(entry.id)));
        // Until the core says otherwise, a control shows its template caption.
        if (entry.kind != ControlKind::Edit && entry.kind != ControlKind::RichEdit) {
            QCOMPARE(captionOf(widget), QString::fromUtf8(entry.templateCaption));
        }
    }
    // The job buttons and the grid are laid out without overlapping.
    const QRect grid = window.control(kGridHex)->geometry();
    QCOMPARE(grid.size(), window.hexGrid()->sizeHint());
    QCOMPARE(window.hexGrid()->cellRect(0, 0).width(), 85);
    QCOMPARE(window.hexGrid()->cellRect(1, 1).width(), 25);
    QCOMPARE(window.hexGrid()->cellRect(20, 17).width(), 132);
    QCOMPARE(window.hexGrid()->cellRect(20, 17).bottom() + 1, 21 * 18);
}

void MainWindowTest::menuBarFollowsTheMenuTable() {
    RecordingCore core;
    buildMainPanel(core.panel(), [](TextKey key) { return testText(key); });
    MainWindow window(core);

    const QList<QAction*> topLevel = window.menuBar()->actions();
    QCOMPARE(topLevel.size(), 7);
    int topIndex = 0;
    std::map<int, int> positionInParent;
    for (const MenuEntry& entry : kMainMenu) {
        QMenu* parent = entry.parent == kMenuBar ? nullptr : window.menu(entry.parent);
        if (isPopupMenu(entry.id)) {
            QMenu* popup = window.menu(entry.id);
            QVERIFY(popup);
            QCOMPARE(popup->title(), qt(testText(entry.caption)));
            if (!parent) {
                QCOMPARE(topLevel[topIndex++], popup->menuAction());
            } else {
                QCOMPARE(parent->actions().at(positionInParent[entry.parent]++),
                         popup->menuAction());
            }
            continue;
        }
        QAction* action = window.menuAction(entry.id);
        QVERIFY2(action, qPrintable(QString::number(entry.id)));
        QCOMPARE(parent->actions().at(positionInParent[entry.parent]++), action);
        QCOMPARE(action->text(), qt(testText(entry.caption)));
        QCOMPARE(action->isEnabled(), !entry.startsGreyed);
        QCOMPARE(action->isCheckable(), entry.checkable);
        bool hasBitmap = false;
        for (const MenuBitmap& bitmap : kMenuBitmaps)
            hasBitmap |= bitmap.item == entry.id;
        QCOMPARE(!action->icon().isNull(), hasBitmap);
    }
}

void MainWindowTest::captionsComeFromTheTextFiles() {
    ProgramFixture program;
    QVERIFY(program.ok);
    MainWindow& window = *program.window;
    for (const ControlEntry& entry : kMainControls) {
        if (!entry.caption)
            continue;
        QCOMPARE(captionOf(window.control(entry.id)), qt(testText(*entry.caption)));
    }
    QCOMPARE(captionOf(window.control(kGroupDeviceInfo)), QStringLiteral("器件信息 T"));
    QCOMPARE(captionOf(window.control(kEditFileName)), qt(testText(itext(0))));
    QCOMPARE(captionOf(window.control(kTextFileChecksum)), QStringLiteral("0000000000"));
    for (const MenuEntry& entry : kMainMenu) {
        const QString expected = qt(testText(entry.caption));
        if (isPopupMenu(entry.id)) {
            QCOMPARE(window.menu(entry.id)->title(), expected);
        } else {
            QCOMPARE(window.menuAction(entry.id)->text(), expected);
        }
    }
    QVERIFY(!window.menuAction(kCmdCheckUpdate)->isEnabled());
    QVERIFY(!window.menuAction(kCmdSaveFile)->isEnabled());
    QVERIFY(window.menuAction(kBtnBrowse)->isEnabled());
}

void MainWindowTest::changesFromAnotherThreadReachTheWidgets() {
    ProgramFixture program;
    QVERIFY(program.ok);
    MainWindow& window = *program.window;
    auto* erase = qobject_cast<QPushButton*>(window.control(kBtnErase));
    auto* status = qobject_cast<QLabel*>(window.control(kStatusLine));
    QVERIFY(erase->isEnabled());

    std::thread worker([&] {
        program.state.panel().disableControl(kBtnErase);
        program.state.panel().setText(kBtnRead, "Stop reading");
        program.state.showStatus("Reading the chip", StatusKind::Normal, false);
    });
    worker.join();
    // Nothing is touched from the worker: the widgets change on the window thread.
    QVERIFY(erase->isEnabled());
    QTRY_VERIFY(!erase->isEnabled());
    QVERIFY(!window.menuAction(kBtnErase)->isEnabled());
    QCOMPARE(qobject_cast<QPushButton*>(window.control(kBtnRead))->text(),
             QStringLiteral("Stop reading"));
    QCOMPARE(status->text(), QStringLiteral("Reading the chip"));

    std::thread again([&] { program.state.panel().enableControl(kBtnErase); });
    again.join();
    QTRY_VERIFY(erase->isEnabled());
    QVERIFY(window.menuAction(kBtnErase)->isEnabled());
}

void MainWindowTest::statusLineIsWhiteOnRedOnlyWhileAlert() {
    ProgramFixture program;
    QVERIFY(program.ok);
    MainWindow& window = *program.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* status = qobject_cast<QLabel*>(window.control(kStatusLine));

    std::thread worker(
        [&] { program.state.showStatus("No programmer", StatusKind::Alert, false); });
    worker.join();
    QTRY_COMPARE(status->text(), QStringLiteral("No programmer"));
    QImage shot = status->grab().toImage();
    QVERIFY(near(shot.pixelColor(shot.width() - 8, shot.height() / 2), QColor(255, 0, 0)));
    QVERIFY(containsColour(shot, QColor(255, 255, 255)));

    std::thread normal([&] { program.state.showStatus("Ready", StatusKind::Normal, false); });
    normal.join();
    QTRY_COMPARE(status->text(), QStringLiteral("Ready"));
    shot = status->grab().toImage();
    QVERIFY(!containsColour(shot, QColor(255, 0, 0)));

    // A change of kind alone reaches the label when the core marks it.
    RecordingCore core;
    MainWindow other(core);
    auto* otherStatus = qobject_cast<QLabel*>(other.control(kStatusLine));
    core.panel().setText(kStatusLine, "Same text");
    QVERIFY(!containsColour(otherStatus->grab().toImage(), QColor(255, 0, 0)));
    core.alert = true;
    core.panel().setChecked(kStatusLine, true);
    QVERIFY(containsColour(otherStatus->grab().toImage(), QColor(255, 0, 0)));
}

void MainWindowTest::progressBarDrawsItsLabelOverAGreenFill() {
    RecordingCore core;
    buildMainPanel(core.panel(), [](TextKey key) { return testText(key); });
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* bar = qobject_cast<LabelledProgressBar*>(window.control(kProgressBar));
    QVERIFY(!bar->isVisible());
    QCOMPARE(bar->font().family(), QStringLiteral("宋体"));
    QCOMPARE(bar->font().pixelSize(), 14);
    QCOMPARE(bar->font().weight(), QFont::Light);

    std::thread worker([&] {
        core.panel().setVisible(kProgressBar, true);
        core.progress = 40;
        core.panel().setText(kProgressBar, "Reading 40%");
    });
    worker.join();
    QTRY_VERIFY(bar->isVisible());
    QTRY_COMPARE(bar->value(), 40);
    QCOMPARE(bar->label(), QStringLiteral("Reading 40%"));
    const QImage shot = bar->grab().toImage();
    QVERIFY(near(shot.pixelColor(4, shot.height() - 4), QColor(0, 255, 0)));
    QVERIFY(!near(shot.pixelColor(shot.width() - 4, shot.height() - 4), QColor(0, 255, 0)));
    // The label: a light face, so its strokes are dark grey rather than black.
    bool labelDrawn = false;
    for (int x = 0; x < shot.width(); ++x) {
        const QColor pixel = shot.pixelColor(x, shot.height() / 2);
        labelDrawn |= pixel.red() < 120 && pixel.green() < 120 && pixel.blue() < 120;
    }
    QVERIFY(labelDrawn);

    core.panel().setVisible(kProgressBar, false);
    QVERIFY(!bar->isVisible());
}

void MainWindowTest::logViewShowsTheLogInItsColour() {
    RecordingCore core;
    core.log().append("9:05:03  first");  // before the window: shown from the snapshot
    MainWindow window(core);
    auto* log = qobject_cast<QTextEdit*>(window.control(kLogView));
    QCOMPARE(log->toPlainText(), QStringLiteral("9:05:03  first"));

    core.log().append("9:05:04  second");
    QTRY_COMPARE(log->toPlainText(), QStringLiteral("9:05:03  first\n9:05:04  second"));
    // A repeated message rewrites the last line only.
    core.log().replaceLast("9:05:09  second");
    QTRY_COMPARE(log->toPlainText(), QStringLiteral("9:05:03  first\n9:05:09  second"));
    QCOMPARE(log->document()->blockCount(), 2);
    core.log().append("9:06:00  芯片");
    QTRY_COMPARE(log->toPlainText(),
                 QStringLiteral("9:05:03  first\n9:05:09  second\n9:06:00  芯片"));

    QTextCursor cursor(log->document());
    for (int position : {1, 20, log->document()->characterCount() - 2}) {
        cursor.setPosition(position);
        QCOMPARE(cursor.charFormat().foreground().color(), QColor(0, 83, 242));
    }
    core.log().clear();
    QTRY_VERIFY(log->toPlainText().isEmpty());
    core.log().replaceLast("9:07:00  again");
    QTRY_COMPARE(log->toPlainText(), QStringLiteral("9:07:00  again"));
    // A line holding a line break replaces as one line.
    core.log().append("two\r\nparts");
    core.log().replaceLast("one");
    QTRY_COMPARE(log->toPlainText(), QStringLiteral("9:07:00  again\none"));
}

void MainWindowTest::logLinesFromTheWorkerArriveInOrder() {
    RecordingCore core;
    MainWindow window(core);
    auto* log = qobject_cast<QTextEdit*>(window.control(kLogView));
    constexpr int kLines = 20000;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) {
            core.log().append("line " + std::to_string(i));
            if (i % 10 == 9)
                core.log().replaceLast("replaced " + std::to_string(i));
        }
    });
    worker.join();
    QTRY_COMPARE(log->document()->blockCount(), kLines);
    QCOMPARE(log->document()->findBlockByNumber(0).text(), QStringLiteral("line 0"));
    QCOMPARE(log->document()->findBlockByNumber(9).text(), QStringLiteral("replaced 9"));
    QCOMPARE(log->document()->lastBlock().text(), QStringLiteral("replaced %1").arg(kLines - 1));
    QCOMPARE(log->toPlainText(), qt(core.log().text("\n")));
}

void MainWindowTest::buttonsAndMenuItemsForwardTheirCommand() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(window.control(kBtnErase), Qt::LeftButton);
    window.menuAction(kBtnProgram)->trigger();
    QTest::mouseClick(window.control(kBtnConfigure), Qt::LeftButton);
    QTest::mouseClick(window.hexGrid(), Qt::LeftButton, {},
                      window.hexGrid()->cellRect(2, 3).center());
    QCOMPARE(core.commands, (std::vector<int>{kBtnErase, kBtnProgram, kBtnConfigure, kGridHex}));
    QCOMPARE(window.hexGrid()->focusCell(), (std::pair<int, int>{2, 3}));

    // A control the core disabled takes no clicks.
    core.panel().setEnabled(kBtnRead, false);
    QTest::mouseClick(window.control(kBtnRead), Qt::LeftButton);
    core.panel().addMenuItem(kBtnVerify, "Verify", true);
    window.menuAction(kBtnVerify)->trigger();
    QCOMPARE(core.commands.size(), std::size_t{4});
}

void MainWindowTest::listSelectionIsStoredBeforeItsCommand() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* list = qobject_cast<QComboBox*>(window.control(kListChipType));

    core.panel().setItems(kListChipType, {"24 EEPROM", "25 SPI FLASH", "93 EEPROM"});
    core.panel().setCurrentIndex(kListChipType, 0);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentText(), QStringLiteral("24 EEPROM"));
    QVERIFY(core.commands.empty());  // the core's own changes are not echoed back

    int indexSeen = -2;
    core.onCommand = [&](int) { indexSeen = core.panel().currentIndex(kListChipType); };
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(core.commands, std::vector<int>{kListChipType});
    QCOMPARE(indexSeen, 1);
    QCOMPARE(core.panel().currentIndex(kListChipType), 1);

    core.panel().setItems(kListChipType, {"24 EEPROM"});
    QCOMPARE(list->count(), 1);
    QCOMPARE(core.commands.size(), std::size_t{1});
}

void MainWindowTest::checkBoxStoresItsStateBeforeItsCommand() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* box = qobject_cast<QCheckBox*>(window.control(kCheckEditMode));

    bool checkedSeen = false;
    core.onCommand = [&](int) { checkedSeen = core.panel().checked(kCheckEditMode); };
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(core.commands, std::vector<int>{kCheckEditMode});
    QVERIFY(checkedSeen);

    core.panel().setChecked(kCheckEditMode, false);
    QVERIFY(!box->isChecked());
    QCOMPARE(core.commands.size(), std::size_t{1});
}

void MainWindowTest::checkMarksAreThePanelsNotQts() {
    RecordingCore core;
    core.panel().addMenuItem(kCmdSounds, "Sounds");
    MainWindow window(core);
    QAction* sounds = window.menuAction(kCmdSounds);
    QVERIFY(!sounds->isChecked());

    sounds->trigger();
    QCOMPARE(core.commands, std::vector<int>{kCmdSounds});
    QVERIFY(!sounds->isChecked());  // the core did not switch it on

    core.onCommand = [&](int id) { core.panel().setMenuChecked(id, true); };
    sounds->trigger();
    QVERIFY(sounds->isChecked());
    core.panel().setMenuChecked(kCmdSounds, false);
    QVERIFY(!sounds->isChecked());
}

void MainWindowTest::editModeItemSwapsItsImage() {
    RecordingCore core;
    core.panel().addMenuItem(kCmdEditMode, "Edit mode");
    MainWindow window(core);
    QAction* editMode = window.menuAction(kCmdEditMode);
    const QImage off = art::menuGlyph(188, 16).convertToFormat(QImage::Format_ARGB32);
    const QImage on = art::menuGlyph(189, 16).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(off != on);
    QCOMPARE(imageOf(editMode->icon(), {16, 16}), off);
    core.panel().setMenuChecked(kCmdEditMode, true);
    QCOMPARE(imageOf(editMode->icon(), {16, 16}), on);
    core.panel().setMenuChecked(kCmdEditMode, false);
    QCOMPARE(imageOf(editMode->icon(), {16, 16}), off);
    // Other items keep one picture whatever their state.
    const QImage read = imageOf(window.menuAction(kBtnRead)->icon(), {16, 16});
    QCOMPARE(read, art::menuGlyph(186, 16).convertToFormat(QImage::Format_ARGB32));
}

void MainWindowTest::pictureButtonsShowThePanelsPicture() {
    RecordingCore core;
    MainWindow window(core);
    auto* pinout = qobject_cast<QPushButton*>(window.control(kPicPinout));
    auto* placement = qobject_cast<QPushButton*>(window.control(kPicPlacement));
    auto* decoration = qobject_cast<QPushButton*>(window.control(kPicDecoration));

    QCOMPARE(imageOf(pinout->icon(), art::kPinoutSize),
             asArgb(art::pinoutPicture(PinoutPicture::Spi)));
    QCOMPARE(imageOf(placement->icon(), art::kPlacementSize), asArgb(art::placementPicture(false)));
    QCOMPARE(imageOf(decoration->icon(), art::kDecorationSize), asArgb(art::decorationPicture()));

    core.panel().setText(kPicPinout,
                         std::to_string(static_cast<int>(PinoutPicture::MicrowireRotated)));
    QCOMPARE(imageOf(pinout->icon(), art::kPinoutSize),
             asArgb(art::pinoutPicture(PinoutPicture::MicrowireRotated)));
    core.panel().setChecked(kPicPlacement, true);
    QCOMPARE(imageOf(placement->icon(), art::kPlacementSize), asArgb(art::placementPicture(true)));
    // Shown smaller, as drawn: the same scale both ways, for both pictures.
    QCOMPARE(placement->size(), art::kPlacementShownSize + QSize(4, 4));
    QCOMPARE(decoration->size(), art::kDecorationShownSize + QSize(4, 4));
    for (const auto& [drawn, shown] :
         {std::pair{art::kPlacementSize, art::kPlacementShownSize},
          std::pair{art::kDecorationSize, art::kDecorationShownSize}}) {
        QVERIFY(std::abs(double(shown.width()) / drawn.width() -
                         double(shown.height()) / drawn.height()) < 0.01);
    }
}

void MainWindowTest::functionKeysReachTheCoreOnce() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* button = window.control(kBtnErase);
    button->setFocus();

    // Not consumed: the key travels on, yet the core hears of it once.
    QTest::keyClick(button, Qt::Key_F6);
    QTest::keyClick(button, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(button, Qt::Key_O);
    QTest::keyClick(button, Qt::Key_A);
    QCOMPARE(core.keys, (std::vector<std::pair<Key, bool>>{
                            {Key::F6, false}, {Key::O, true}, {Key::O, false}}));

    // Consumed: the focused control never sees it (F4 would open the list).
    core.consumedKeys = {Key::F4};
    auto* list = qobject_cast<QComboBox*>(window.control(kListDevice));
    core.panel().setItems(kListDevice, {"W25Q64", "W25Q128"});
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F4);
    QCOMPARE(core.keys.back(), (std::pair<Key, bool>{Key::F4, false}));
    QTest::qWait(50);
    QVERIFY(!list->view()->isVisible());
}

void MainWindowTest::escapeAndEnterNeverCloseOrClick() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* button = window.control(kBtnProgram);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    QTest::keyClick(button, Qt::Key_Enter);
    QTest::keyClick(button, Qt::Key_Escape);
    QTest::keyClick(button, Qt::Key_Space);  // the normal way to press a focused button
    QCOMPARE(core.escapeOrEnter, (std::vector<bool>{true, true, false}));
    QCOMPARE(core.commands, std::vector<int>{kBtnProgram});
    QVERIFY(window.isVisible());
    QCOMPARE(core.closeRequests, 0);
}

void MainWindowTest::refusedCloseKeepsTheWindowOpen() {
    RecordingCore core;
    MainWindow window(core);
    QSignalSpy finished(&window, &MainWindow::finished);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    core.allowClose = false;
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(core.closeRequests, 1);
    QCOMPARE(finished.count(), 0);

    core.allowClose = true;
    QVERIFY(window.close());
    QCOMPARE(core.closeRequests, 2);
    QCOMPARE(finished.count(), 1);
}

void MainWindowTest::exitItemEndsWithoutTheCloseHandler() {
    RecordingCore core;
    core.allowClose = false;
    MainWindow window(core);
    QSignalSpy finished(&window, &MainWindow::finished);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.menuAction(kCmdExit)->trigger();
    QCOMPARE(finished.count(), 1);
    QVERIFY(window.close());
    QCOMPARE(core.closeRequests, 0);
    QVERIFY(core.commands.empty());
}

namespace {

struct AboutShown {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    int buttons = 0;
};

// Shows the About dialog by act() and tells what it showed; OK closes it.
AboutShown aboutDialogOf(const std::function<void()>& act) {
    AboutShown shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        const auto* label = dialog->findChild<QLabel*>(QStringLiteral("aboutText"));
        shown.text = label->text();
        shown.format = label->textFormat();
        auto* box = dialog->findChild<QDialogButtonBox*>();
        shown.buttons = static_cast<int>(box->buttons().size());
        box->button(QDialogButtonBox::Ok)->click();
    });
    poll.start(10);
    act();
    return shown;
}

}  // namespace

void MainWindowTest::aboutDialogShowsOneLineAndOk() {
    RecordingCore core;
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QString line = QStringLiteral("<b>KVQ_Nyra</b> 编程器");
    const AboutShown shown = aboutDialogOf([&] { window.showAboutDialog(line); });
    // Shown as it stands, never as markup.
    QCOMPARE(shown.text, line);
    QCOMPARE(shown.format, Qt::PlainText);
    QVERIFY(!shown.text.contains('\n'));
    QCOMPARE(shown.buttons, 1);
}

void MainWindowTest::aboutTextComesFromTheTextTable() {
    ProgramFixture program;
    QVERIFY(program.ok);
    program.state.showAboutDialog = [&](const std::string& text) {
        program.window->showAboutDialog(qt(text));
    };
    program.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(program.window.get()));
    const AboutShown shown =
        aboutDialogOf([&] { program.window->menuAction(kBtnAbout)->trigger(); });
    QCOMPARE(shown.text, qt(testText(ftext(61))));
    QCOMPARE(shown.buttons, 1);
}

namespace {

// Whether the whole widget can be seen: shown and clipped by no parent
// (the window's edge or the side panel's scroll area).
bool fullyShown(QWidget* widget) {
    return widget->isVisible() && widget->visibleRegion().boundingRect() == widget->rect();
}

}  // namespace

void MainWindowTest::windowFitsASmallScreenWithTheGridAtItsSize_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("zh_CN") << QStringLiteral("zh_CN");
    QTest::newRow("en") << QStringLiteral("en");
}

void MainWindowTest::windowFitsASmallScreenWithTheGridAtItsSize() {
    QFETCH(QString, language);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString& name : {QStringLiteral("ftext.ini"), QStringLiteral("itext.ini")}) {
        QVERIFY(QFile::copy(QStringLiteral(NYRA_LANG_DIR) + "/" + language + "/" + name,
                            folder.path() + "/" + name));
    }
    ScriptedFrontend frontend;
    VirtualClock clock;
    AppState state{frontend, clock, unavailableUsbApi()};
    state.startUp(folder.path().toStdString());
    state.worker().waitUntilIdle();
    AppStateCore core{state};
    MainWindow window(core);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A 1024 x 768 screen less a window manager's frame, title bar and panel,
    // and the size the window opens with.
    const QSize usable{1008, 700};
    const QSize opening{1060, 740};
    // The longest caption the batch button gets while a series runs.
    state.panel().setText(kBtnBatch, "停止批量 4294967295 (F2)");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const QSize minimum = window.minimumSizeHint();
    QVERIFY2(minimum.width() <= usable.width() && minimum.height() <= usable.height(),
             qPrintable(QStringLiteral("%1 x %2").arg(minimum.width()).arg(minimum.height())));

    HexGrid* grid = window.hexGrid();
    const std::vector<int> mustShow = {
        kBtnAuto,          kBtnErase,         kBtnProgram,   kBtnRead,       kBtnVerify,
        kBtnBlankCheck,    kBtnDetect,        kBtnBatch,     kListChipType,  kListManufacturer,
        kListDevice,       kTextCapacity,     kBtnBrowse,    kCheckEditMode, kEditFileName,
        kTextFileChecksum, kTextChipChecksum, kScrollHex,    kLogView,       kStatusLine,
        kPicPinout,        kPicPlacement,     kPicDecoration};
    for (const QSize& size : {minimum, usable, opening}) {
        window.resize(size);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(window.size(), size);
        // The grid is never squeezed: every cell keeps its width and height.
        QCOMPARE(grid->size(), grid->sizeHint());
        QVERIFY(fullyShown(grid));
        for (int row : {0, HexGrid::kRows - 1}) {
            QCOMPARE(grid->cellRect(row, 0).size(), QSize(85, 18));
            for (int column = 1; column <= 16; ++column)
                QCOMPARE(grid->cellRect(row, column).size(), QSize(25, 18));
            QCOMPARE(grid->cellRect(row, 17).size(), QSize(132, 18));
        }
        for (int id : mustShow)
            QVERIFY2(fullyShown(window.control(id)), qPrintable(QString::number(id)));
        // Captions are not cut off, in either language.
        for (int id : {kBtnAuto, kBtnBlankCheck, kBtnBatch, kBtnBrowse}) {
            auto* button = qobject_cast<QPushButton*>(window.control(id));
            QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(button->text()) + 8,
                     qPrintable(button->text()));
        }
    }
}

}  // namespace nyra::gui::test
