// SPDX-License-Identifier: GPL-3.0-or-later
// Chip identification as the user sees it: the real core and window against
// the in-process programmer, with the shipped catalogue and English texts.
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app_state_core.h"
#include "gui_tests.h"
#include "main_window.h"
#include "shell/app_state.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "simulated_program.h"
#include "ui/scripted_frontend.h"

namespace nyra::gui::test {

using namespace nyra::ids;

namespace {

QString chipOf(const ChipRecord& record) {
    return qt(record.type) + " | " + qt(record.manufacturer) + " | " + qt(record.device);
}

// The catalogue records that carry the ID the simulated chip answers.
std::vector<std::uint32_t> recordsAnswering(AppState& state, std::string_view chip) {
    const auto model = sim::builtinChip(chip);
    if (!model || !model->jedecId)
        return {};
    return state.catalogue().findByMainId(*model->jedecId);
}

const ChipRecord* recordNamed(AppState& state, const std::string& device) {
    ChipCatalogue& catalogue = state.catalogue();
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        if (catalogue.record(i)->device == device)
            return catalogue.record(i);
    }
    return nullptr;
}

// A pick from the list's pop-up: the list moves, the window forwards it.
bool pick(QComboBox* list, const QString& text) {
    const int index = list->findText(text);
    if (index < 0)
        return false;
    list->setCurrentIndex(index);
    QCoreApplication::processEvents();
    return true;
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

bool drawnAsAlert(QLabel* status) {
    const QImage shot = status->grab().toImage();
    return near(shot.pixelColor(shot.width() - 8, shot.height() / 2), QColor(255, 0, 0)) &&
           containsColour(shot, QColor(255, 255, 255));
}

QStringList viewLines(QTextEdit* view) {
    QStringList lines;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    if (lines.size() == 1 && lines.front().isEmpty())
        lines.clear();
    return lines;
}

QString prefixOf(int hour, int minute, int second) {
    return QStringLiteral("%1:%2:%3  ")
        .arg(hour)
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(second, 2, 10, QLatin1Char('0'));
}

// The information box of the detect job, line by line.
QStringList boxLines(const FrontendCall& box) {
    QStringList lines = qt(box.text).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty())
        lines.back() = lines.back().trimmed();
    return lines;
}

}  // namespace

void IdentificationTest::startUpSelectsTheChipInTheSocket() {
    SimulatedProgram program(1, "W25Q128FV");
    QVERIFY(program.start());
    AppState& state = program.state;
    ChipCatalogue& catalogue = state.catalogue();

    const auto records = recordsAnswering(state, "W25Q128FV");
    QVERIFY(records.size() > 1);
    // The lists open on the first record of the table, which does not carry
    // this ID, so the first record that does is chosen.
    const std::string firstType = catalogue.typeList().front();
    const std::string firstMaker = catalogue.manufacturerList(firstType).front();
    const auto firstRecord = catalogue.findChip(
        firstType, firstMaker, catalogue.deviceList(firstType, firstMaker).front());
    QVERIFY(!firstRecord.empty());
    QVERIFY(std::find(records.begin(), records.end(), firstRecord.front()) == records.end());

    const ChipRecord& expected = *catalogue.record(records.front());
    QTRY_COMPARE(program.shownChip(), chipOf(expected));
    QCOMPARE(program.list(kListChipType)->count(), static_cast<int>(catalogue.typeList().size()));
    QCOMPARE(program.list(kListDevice)->count(),
             static_cast<int>(catalogue.deviceList(expected.type, expected.manufacturer).size()));
    // The ID is shared, so the quiet job asks the user to check the device.
    QTRY_COMPARE(program.statusLine()->text(), program.text(itext(74)));
    QVERIFY(drawnAsAlert(program.statusLine()));
    QVERIFY(program.frontend.boxes().empty());
}

void IdentificationTest::detectKeyMakesTheListsFollowTheChip() {
    SimulatedProgram program(1, "W25Q128FV");
    QVERIFY(program.start());
    AppState& state = program.state;
    const auto records = recordsAnswering(state, "W25Q128FV");
    QVERIFY(records.size() > 1);
    const ChipRecord& first = *state.catalogue().record(records.front());
    QTRY_COMPARE(program.shownChip(), chipOf(first));

    // The user moves the type list on to another family.
    QComboBox* types = program.list(kListChipType);
    types->setFocus();
    const int typeBefore = types->currentIndex();
    QTest::keyClick(types, Qt::Key_Down);
    QTRY_COMPARE(types->currentIndex(), typeBefore + 1);
    QTRY_VERIFY(program.list(kListDevice)->currentText() != qt(first.device));
    const QString userChip = program.shownChip();
    program.frontend.clearRecord();

    QTest::keyClick(types, Qt::Key_F5);
    state.worker().waitUntilIdle();
    QTRY_COMPARE(program.shownChip(), chipOf(first));
    QVERIFY(program.shownChip() != userChip);
    std::vector<FrontendCall> boxes = program.frontend.boxes();
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].icon, BoxIcon::Information);
    QCOMPARE(boxLines(boxes[0]),
             (QStringList{program.text(itext(191)), program.text(ftext(43)) + qt(first.type),
                          program.text(ftext(44)) + qt(first.manufacturer),
                          program.text(ftext(45)) + qt(first.device)}));

    // A record the user chose among those sharing the ID is left selected.
    const ChipRecord* chosen = recordNamed(state, "W25Q128FV");
    QVERIFY(chosen);
    QVERIFY(std::find(records.begin(), records.end(), chosen->index) != records.end());
    QVERIFY(chosen->index != first.index);
    QVERIFY(pick(program.list(kListDevice), qt(chosen->device)));
    QTRY_COMPARE(program.shownChip(), chipOf(*chosen));
    program.frontend.clearRecord();

    program.window->control(kBtnDetect)->setFocus();
    QTest::keyClick(program.window->control(kBtnDetect), Qt::Key_F5);
    state.worker().waitUntilIdle();
    QCoreApplication::processEvents();
    QCOMPARE(program.shownChip(), chipOf(*chosen));
    boxes = program.frontend.boxes();
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxLines(boxes[0]).value(3), program.text(ftext(45)) + qt(chosen->device));
}

void IdentificationTest::deviceChangeReselectsAfterASwap() {
    SimulatedProgram program(1, "W25Q128FV");
    QVERIFY(program.start());
    AppState& state = program.state;
    const auto before = recordsAnswering(state, "W25Q128FV");
    QVERIFY(!before.empty());
    QTRY_COMPARE(program.shownChip(), chipOf(*state.catalogue().record(before.front())));

    // Another SPI flash, whose ID only one record carries.
    auto flash = sim::builtinChip("GD25Q32");
    QVERIFY(flash);
    QVERIFY(program.simulator.swapChip(0, *flash));
    program.deviceChanged();
    const auto records = recordsAnswering(state, "GD25Q32");
    QCOMPARE(records.size(), std::size_t{1});
    QTRY_COMPARE(program.shownChip(), chipOf(*state.catalogue().record(records.front())));
    QTRY_COMPARE(program.statusLine()->text(), program.text(itext(73)));
    QVERIFY(!drawnAsAlert(program.statusLine()));

    // A 24-series EEPROM has no ID: the type list switches to its family.
    auto eeprom = sim::builtinChip("AT24C02");
    QVERIFY(eeprom);
    QVERIFY(program.simulator.swapChip(0, *eeprom));
    program.deviceChanged();
    const ChipRecord* family = recordNamed(state, "AT24C02");
    QVERIFY(family);
    QComboBox* makers = program.list(kListManufacturer);
    QTRY_COMPARE(program.list(kListChipType)->currentText(), qt(family->type));
    const auto makerNames = state.catalogue().manufacturerList(family->type);
    QTRY_COMPARE(makers->count(), static_cast<int>(makerNames.size()));
    for (int i = 0; i < makers->count(); ++i)
        QCOMPARE(makers->itemText(i), qt(makerNames[static_cast<std::size_t>(i)]));
    QTRY_COMPARE(program.statusLine()->text(), program.text(itext(69)));
    QVERIFY(drawnAsAlert(program.statusLine()));
    const QString familyShown = program.shownChip();

    // An empty socket answers nothing: the lists stay, the user is told.
    QVERIFY(program.simulator.removeChip(0));
    program.deviceChanged();
    QTRY_COMPARE(program.statusLine()->text(), program.text(itext(72)));
    QVERIFY(drawnAsAlert(program.statusLine()));
    QCOMPARE(program.shownChip(), familyShown);
    QVERIFY(program.frontend.boxes().empty());
}

void IdentificationTest::logLinesCarryTheTimeOfDay() {
    SimulatedProgram program(1, "W25Q128FV");
    QVERIFY(program.start());
    AppState& state = program.state;
    QTextEdit* view = program.logView();
    QTRY_COMPARE(viewLines(view).size(), static_cast<int>(state.log().lineCount()));
    const QRegularExpression timed(
        QStringLiteral("^([1-9]|1[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]  \\S"));
    for (const QString& line : viewLines(view))
        QVERIFY2(timed.match(line).hasMatch(), qPrintable(line));

    // Every line of a detect run carries the time it ran at.
    QVERIFY(program.setTimeOfDay(9, 5, 3));
    const int linesBefore = viewLines(view).size();
    program.core.command(kBtnDetect);
    state.worker().waitUntilIdle();
    QCOMPARE(program.clock.localTime().second, 3);  // the run took less than a second
    QTRY_COMPARE(viewLines(view).size(), static_cast<int>(state.log().lineCount()));
    const QStringList detectRun = viewLines(view).mid(linesBefore);
    QVERIFY(detectRun.size() >= 2);
    const QString prefix = prefixOf(9, 5, 3);
    for (const QString& line : detectRun)
        QVERIFY2(line.startsWith(prefix), qPrintable(line));
    QVERIFY(detectRun.contains(prefix + program.text(itext(74))));
    const ChipRecord& chip = *state.catalogue().record(state.selection().selectedChip());
    // The chip line, then the note for a chip above 8 MB.
    QCOMPARE(detectRun.back(), prefix + program.text(itext(54)));
    QVERIFY(detectRun.value(detectRun.size() - 2)
                .startsWith(prefix + qt(chip.type + " : " + chip.manufacturer + " : " +
                                        chip.device + " : ")));
    QTextCursor cursor(view->document()->lastBlock());
    cursor.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(0, 83, 242));

    // The same alert twice in a row stays one line, with the later time.
    QVERIFY(program.simulator.unplug(0));
    QVERIFY(program.setTimeOfDay(9, 6, 10));
    program.deviceChanged();
    const QString notFound = program.text(itext(34));
    QTRY_COMPARE(viewLines(view).value(viewLines(view).size() - 1), prefixOf(9, 6, 10) + notFound);
    const QStringList once = viewLines(view);
    QVERIFY(program.setTimeOfDay(10, 0, 0));
    program.deviceChanged();
    QTRY_COMPARE(viewLines(view).value(viewLines(view).size() - 1), prefixOf(10, 0, 0) + notFound);
    const QStringList twice = viewLines(view);
    QCOMPARE(twice.size(), once.size());
    QCOMPARE(twice.mid(0, twice.size() - 1), once.mid(0, once.size() - 1));
    QCOMPARE(static_cast<int>(state.log().lineCount()), twice.size());
}

void IdentificationTest::missingProgrammerIsAnAlert() {
    SimulatedProgram program(0, "GD25Q32");
    QVERIFY(program.start());
    AppState& state = program.state;
    const QString notFound = program.text(itext(34));
    QVERIFY(!notFound.isEmpty());
    QTRY_COMPARE(program.statusLine()->text(), notFound);
    QVERIFY(drawnAsAlert(program.statusLine()));
    QVERIFY(!program.frontend.beeps().empty());
    const QString firstShown = program.shownChip();

    // Plugged in: the chip is found and the alert goes.
    QVERIFY(program.simulator.plug(0));
    program.deviceChanged();
    const auto records = recordsAnswering(state, "GD25Q32");
    QCOMPARE(records.size(), std::size_t{1});
    QTRY_COMPARE(program.shownChip(), chipOf(*state.catalogue().record(records.front())));
    QVERIFY(program.shownChip() != firstShown);
    QTRY_COMPARE(program.statusLine()->text(), program.text(itext(73)));
    QVERIFY(!drawnAsAlert(program.statusLine()));

    // Unplugged again: the alert is back, the lists keep the chip.
    QVERIFY(program.simulator.unplug(0));
    program.deviceChanged();
    QTRY_COMPARE(program.statusLine()->text(), notFound);
    QVERIFY(drawnAsAlert(program.statusLine()));
    QCOMPARE(program.shownChip(), chipOf(*state.catalogue().record(records.front())));

    // The detect key says so in a box as well.
    program.frontend.clearRecord();
    program.core.command(kBtnDetect);
    state.worker().waitUntilIdle();
    QTRY_COMPARE(program.statusLine()->text(), notFound);
    QVERIFY(drawnAsAlert(program.statusLine()));
    const auto boxes = program.frontend.boxes();
    QVERIFY(!boxes.empty());
    QCOMPARE(qt(boxes.back().text), notFound);
    QCOMPARE(boxes.back().icon, BoxIcon::Warning);
}

}  // namespace nyra::gui::test
