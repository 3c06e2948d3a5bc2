// SPDX-License-Identifier: GPL-3.0-or-later
// The window thread while a 128 MiB image is programmed and read back through
// the simulated programmer (device timing off, so the progress comes as fast
// as the host can make it): a 1 ms timer on the window thread records the
// longest gap between its ticks. A gap over 50 ms is a stall a user would see.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

#include "app/clock.h"
#include "app_state_core.h"
#include "main_window.h"
#include "random_file.h"
#include "shell/app_state.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "ui/ids.h"
#include "ui/scripted_frontend.h"

namespace {

constexpr qint64 kStallLimitMs = 50;
constexpr std::size_t kImageBytes = 128u << 20;

bool prepareFolder(const QString& folder) {
    const QString lang = QStringLiteral(NYRA_LANG_DIR) + "/en/";
    if (!QFile::copy(QStringLiteral(NYRA_DEMO_DIR) + "/database.dat", folder + "/database.dat") ||
        !QFile::copy(lang + "ftext.ini", folder + "/ftext.ini") ||
        !QFile::copy(lang + "itext.ini", folder + "/itext.ini")) {
        return false;
    }
    // Sounds off, auto-identify on.
    QFile switches(folder + "/umod2.dll");
    return switches.open(QIODevice::WriteOnly) && switches.write("\0\1\1\1\1", 5) == 5;
}

struct Probe {
    qint64 longestMs = 0;
    qint64 jobMs = 0;
};

// Runs one job from its button while the probe ticks.
Probe probeJob(nyra::AppState& state, nyra::gui::AppStateCore& core, int button) {
    QElapsedTimer sinceTick;
    QElapsedTimer job;
    qint64 longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    QEventLoop loop;
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (state.worker().idle())
            loop.quit();
    });
    sinceTick.start();
    job.start();
    probe.start(1);
    core.command(button);
    done.start(5);
    loop.exec();
    return {longest, job.elapsed()};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid() || !prepareFolder(folder.path())) {
        std::fprintf(stderr, "cannot prepare a program folder\n");
        return 1;
    }
    const std::string image = folder.filePath("image.bin").toStdString();
    if (!nyra::bench::writeRandomFile(image, kImageBytes, 7)) {
        std::fprintf(stderr, "cannot write %s\n", image.c_str());
        return 1;
    }

    nyra::sim::Simulator simulator(
        nyra::sim::simulatorOptions(1, "spi-flash:size=128M,id=EF4021", nullptr, 0.0));
    nyra::sim::usb::ScopedBinding binding(simulator);
    const nyra::UsbApi usb = nyra::sim::usb::api();
    nyra::ScriptedFrontend frontend;
    nyra::AppState state(frontend, nyra::systemClock(), usb);
    nyra::gui::AppStateCore core(state);
    nyra::gui::MainWindow window(core);
    state.startUp(folder.path().toStdString() + "/");
    window.refreshFromPanel();
    window.show();
    state.worker().waitUntilIdle();
    if (!state.fileLoader().loadFile(image, true)) {
        std::fprintf(stderr, "cannot load %s\n", image.c_str());
        return 1;
    }

    int rc = 0;
    const std::pair<const char*, int> jobs[] = {{"program", nyra::ids::kBtnProgram},
                                                {"read", nyra::ids::kBtnRead}};
    for (const auto& [name, button] : jobs) {
        const Probe probe = probeJob(state, core, button);
        std::printf(
            "128 MiB %-8s %5lld ms; longest window-thread stall %3lld ms, ratio to %lld ms "
            "%.2f\n",
            name, static_cast<long long>(probe.jobMs), static_cast<long long>(probe.longestMs),
            static_cast<long long>(kStallLimitMs),
            static_cast<double>(probe.longestMs) / kStallLimitMs);
        if (probe.longestMs > kStallLimitMs)
            rc = 1;
    }
    const auto chip = simulator.chipContents(0);
    std::ifstream in(image, std::ios::binary);
    std::vector<std::uint8_t> file(kImageBytes);
    in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (chip != file) {
        std::fprintf(stderr, "the chip does not hold the image: the program job failed\n");
        rc = 1;
    }
    window.close();
    state.shutdown();
    return rc;
}
