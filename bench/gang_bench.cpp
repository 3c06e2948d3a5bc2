// SPDX-License-Identifier: GPL-3.0-or-later
// Chips per minute of a gang series (kvq-cli batch --programmers all) with 1,
// 2, 4 and 8 simulated programmers at realistic timing: a 512 KiB SPI flash
// erased, programmed whole and verified, the feeder on. Each figure against
// N times the single programmer's rate; the host mostly waits, so the ratio
// should stay near 1 (at least 0.9). The CPU time shows how much it works.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "gang_command.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "timing.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChipsEach = 3;
constexpr double kLeastRatio = 0.9;

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

struct GangRun {
    double chipsPerMinute = 0;
    double cpuShare = 0;  // CPU seconds per wall second
    int status = -1;
};

GangRun runGangOf(int programmers, const std::string& folder, const std::string& document) {
    nyra::sim::SimulatorOptions options = nyra::sim::simulatorOptions(programmers, "W25X40");
    options.timingFactor = 1.0;
    nyra::sim::Simulator simulator(options);
    nyra::sim::FeederSettings feeder;
    std::string error;
    for (const auto& [name, value] : {std::pair{"on", "on"}, {"out", "20ms"}, {"in", "200ms"}})
        nyra::sim::setFeederSetting(feeder, name, value, &error);
    for (int i = 0; i < programmers; ++i)
        simulator.setFeederSettings(i, feeder);
    nyra::sim::usb::ScopedBinding binding(simulator);
    const nyra::UsbApi api = nyra::sim::usb::api();

    nyra::cli::BatchRequest request;
    request.mode = 0;
    request.file = document;
    request.count = kChipsEach;
    request.programmers = "all";
    std::ostringstream out, err;
    const std::atomic<bool> stop{false};
    GangRun run;
    const double cpuBefore = cpuSeconds();
    const double wall = nyra::bench::seconds([&] {
        run.status = nyra::cli::runGang(folder, request, api, nyra::systemClock(), out, err, stop);
    });
    run.chipsPerMinute = 60.0 * programmers * kChipsEach / wall;
    run.cpuShare = (cpuSeconds() - cpuBefore) / wall;
    if (run.status != 0)
        std::fprintf(stderr, "%s", err.str().c_str());
    return run;
}

}  // namespace

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("nyra-gang-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::copy_file(fs::path(NYRA_DEMO_DIR) / "database.dat", folder / "database.dat");
    for (const char* name : {"ftext.ini", "itext.ini"})
        fs::copy_file(fs::path(NYRA_LANG_DIR) / "en" / name, folder / name);
    ::setenv("NYRA_LOCK_DIR", folder.c_str(), 1);
    const std::string document = (folder / "image.bin").string();
    std::string image(512 * 1024, '\0');
    std::mt19937 random(7);
    std::generate(image.begin(), image.end(), [&] { return static_cast<char>(random()); });
    if (!(std::ofstream(document, std::ios::binary) << image)) {
        std::fprintf(stderr, "cannot write %s\n", document.c_str());
        return 1;
    }
    std::printf(
        "gang series, W25X40 (512 KiB) erase+program+verify, feeder on, realistic "
        "timing, %d chips per programmer\n",
        kChipsEach);
    double single = 0;
    bool ok = true;
    for (const int programmers : {1, 2, 4, 8}) {
        const GangRun run = runGangOf(programmers, folder.string(), document);
        if (run.status != 0) {
            std::fprintf(stderr, "the gang of %d ended with status %d\n", programmers, run.status);
            ok = false;
            continue;
        }
        if (programmers == 1)
            single = run.chipsPerMinute;
        const double ratio = single > 0 ? run.chipsPerMinute / (programmers * single) : 0;
        std::printf(
            "%d programmer(s): %6.1f chips/min, ratio to %d x one: %.2f, CPU %.2f of a core\n",
            programmers, run.chipsPerMinute, programmers, ratio, run.cpuShare);
        ok = ok && ratio >= kLeastRatio;
    }
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
