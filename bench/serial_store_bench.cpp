// SPDX-License-Identifier: GPL-3.0-or-later
// Reservations per second of the serial-number store with 1, 4 and 8
// stations at once, on SQLite and on PostgreSQL over loopback, against the
// time one chip's automatic sequence takes on a 512 KiB SPI flash at
// realistic timing: the store must never be what a line waits for (at least
// 100 reservations per second with 8 stations). Usage: serial_store_bench
// [postgresql://...] (without one it starts a server of its own).
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "ops/chip_jobs.h"
#include "random_file.h"
#include "serials/serial_store.h"
#include "shell/app_state.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "support/postgres_server.h"
#include "timing.h"
#include "ui/scripted_frontend.h"

namespace {

namespace fs = std::filesystem;

constexpr double kReservationSeconds = 3.0;
constexpr double kLeastRateWithEight = 100.0;

// One chip of a line: erase, program and verify of 4 KiB on a W25X40.
double oneChipSeconds(const std::string& folder) {
    const nyra::BuildResult built = nyra::buildDatabase(
        "$25 SPI FLASH\r\n#WINBOND:\r\n"
        "@W25X40(L/V/AL/AV/BL/BV/CL):256:4:512KB:N:300:EF3013:00EF12:3.3V:000\r\n");
    std::ofstream(folder + "database.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(built.database.data()),
               static_cast<std::streamsize>(built.database.size()));
    const std::string image = folder + "fw.bin";
    if (!nyra::bench::writeRandomFile(image, 4096, 7))
        return 0;
    nyra::sim::Simulator simulator(nyra::sim::simulatorOptions(1, "W25X40", nullptr, 1.0));
    nyra::sim::usb::ScopedBinding binding(simulator);
    nyra::ScriptedFrontend frontend;
    nyra::SystemClock clock;
    nyra::AppState state(frontend, clock, nyra::sim::usb::api());
    state.startUp(folder);
    state.worker().waitUntilIdle();
    if (!state.fileLoader().loadFile(image, true))
        return 0;
    bool ok = false;
    const double took =
        nyra::bench::seconds([&] { ok = nyra::automaticSequence(state.jobContext()) == 1; });
    state.shutdown();
    return ok ? took : 0;
}

// Reservations (each with its chip's outcome) per second of stations at once.
double reservationsPerSecond(const std::string& url, const std::string& series, int stations) {
    std::atomic<long> done{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const auto started = std::chrono::steady_clock::now();
    for (int s = 0; s < stations; ++s) {
        threads.emplace_back([&, s] {
            std::string error;
            auto store = nyra::openSerialStore(url, error);
            nyra::SeriesRequest request;
            request.dataChecksum = "bench";
            if (!store || !store->openSeries(series, request)) {
                failed = true;
                return;
            }
            const std::string station = "bench-" + std::to_string(s);
            while (!stop.load()) {
                const auto id = store->reserve(series, {station, "1", "W25X40"}, "t");
                if (!id || !store->finish(series, *id, station, nyra::ChipOutcome::Passed, "W25X40",
                                          "0", "t")) {
                    failed = true;
                    return;
                }
                ++done;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(kReservationSeconds));
    stop = true;
    for (auto& t : threads)
        t.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return failed ? -1 : static_cast<double>(done.load()) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder =
        fs::temp_directory_path() / ("nyra_serials_bench_" + std::to_string(::getpid())) / "";
    fs::create_directories(folder);
    const double chip = oneChipSeconds(folder);
    if (chip <= 0) {
        std::fprintf(stderr, "the automatic sequence failed\n");
        return 1;
    }
    std::printf("one chip's automatic sequence (W25X40, 4 KiB, realistic timing): %.2f s\n", chip);

    std::unique_ptr<nyra::testing::PostgresServer> server;
    std::string postgres = argc > 1 ? argv[1] : "";
    if (postgres.empty()) {
        server = std::make_unique<nyra::testing::PostgresServer>(true);
        if (!server->running())
            std::fprintf(stderr, "no PostgreSQL: %s\n", server->error().c_str());
        else
            postgres = server->url();
    }
    int rc = 0;
    const std::pair<const char*, std::string> stores[] = {
        {"SQLite", "sqlite:" + folder + "serials.db"}, {"PostgreSQL", postgres}};
    for (const auto& [name, url] : stores) {
        if (url.empty())
            continue;
        for (const int stations : {1, 4, 8}) {
            const double rate =
                reservationsPerSecond(url, "bench-" + std::to_string(stations), stations);
            if (rate < 0) {
                std::fprintf(stderr, "%s: a reservation failed\n", name);
                rc = 1;
                continue;
            }
            // Reservations the store takes in one chip's time: far above the
            // stations of a line, or the line waits for the store.
            std::printf("%-10s %d station(s): %5.0f reservations/s, %6.0f in one chip's time\n",
                        name, stations, rate, rate * chip);
            if (stations == 8 && rate < kLeastRateWithEight)
                rc = 1;
        }
    }
    fs::remove_all(folder);
    return rc;
}
