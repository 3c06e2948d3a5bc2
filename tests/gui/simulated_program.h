// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window over the program's core in a program folder of its own, with a
// simulated programmer on the bus, the build's catalogue and English texts.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <memory>
#include <string>

#include "app/clock.h"
#include "app_state_core.h"
#include "main_window.h"
#include "shell/app_state.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "ui/scripted_frontend.h"

namespace nyra::gui::test {

using namespace nyra::ids;

inline QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

inline bool copyInto(const QString& from, const QString& folder, const QString& name) {
    return QFile::copy(from, folder + "/" + name);
}

// The window over the program's core in a program folder of its own, with a
// simulated programmer on the bus.
struct SimulatedProgram {
    SimulatedProgram(int programmers, std::string_view chip)
        : simulator(sim::simulatorOptions(programmers, chip, &simTime)) {}
    ~SimulatedProgram() {
        window.reset();
        state.shutdown();
    }

    // Start-up in the order of the program: window first, then the core.
    bool start() {
        if (!folder.isValid())
            return false;
        const QString demo = QStringLiteral(NYRA_DEMO_DIR);
        const QString lang = QStringLiteral(NYRA_LANG_DIR) + "/en/";
        if (!copyInto(demo + "/database.dat", folder.path(), "database.dat") ||
            !copyInto(lang + "ftext.ini", folder.path(), "ftext.ini") ||
            !copyInto(lang + "itext.ini", folder.path(), "itext.ini")) {
            return false;
        }
        // Sounds off, auto-identify on, batch steps on.
        QFile switches(folder.path() + "/umod2.dll");
        if (!switches.open(QIODevice::WriteOnly) || switches.write("\0\1\1\1\1", 5) != 5)
            return false;
        switches.close();

        window = std::make_unique<MainWindow>(core);
        state.startUp(folder.path().toStdString());
        window->refreshFromPanel();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        state.worker().waitUntilIdle();
        return state.catalogue().count() > 0;
    }

    // What the device-change monitor hands the window thread.
    void deviceChanged() {
        core.windowMessage(kMsgDeviceChange, 0);
        state.worker().waitUntilIdle();
    }

    // Moves the program's clock forward to a time of day (of its first day).
    bool setTimeOfDay(int hour, int minute, int second) {
        const LocalTime start = VirtualClock().localTime();
        const std::int64_t target = ((hour - start.hour) * 3600LL + (minute - start.minute) * 60LL +
                                     (second - start.second)) *
                                    1000LL;
        if (target < clock.nowMs())
            return false;
        clock.advance(target - clock.nowMs());
        return true;
    }

    // A data file of the user's in the program folder; empty when it cannot be written.
    QString dataFile(const QString& name, const QByteArray& bytes) const {
        const QString path = folder.path() + "/" + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    QComboBox* list(int id) const { return qobject_cast<QComboBox*>(window->control(id)); }
    QLabel* statusLine() const { return qobject_cast<QLabel*>(window->control(kStatusLine)); }
    QTextEdit* logView() const { return qobject_cast<QTextEdit*>(window->control(kLogView)); }
    QString text(TextKey key) const { return qt(state.text(key)); }

    // The record the three lists show, by their texts.
    QString shownChip() const {
        return list(kListChipType)->currentText() + " | " + list(kListManufacturer)->currentText() +
               " | " + list(kListDevice)->currentText();
    }

    sim::VirtualTimeSource simTime{0};
    sim::Simulator simulator;
    sim::usb::ScopedBinding binding{simulator};
    UsbApi usb = sim::usb::api();
    QTemporaryDir folder;
    ScriptedFrontend frontend;
    VirtualClock clock;
    AppState state{frontend, clock, usb};
    AppStateCore core{state};
    std::unique_ptr<MainWindow> window;
};

}  // namespace nyra::gui::test
