// SPDX-License-Identifier: GPL-3.0-or-later
// Time to load and parse database.dat against the time to merely read it:
// the shipped catalogue and a synthetic one of 1100 records.
//
//   catalogue_load_bench [database.dat]
//
// Without an argument the shipped catalogue is looked for in demo/ of the
// build tree.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue_codec.h"
#include "catalogue/catalogue_tools.h"
#include "catalogue/chip_catalogue.h"

namespace {

using Clock = std::chrono::steady_clock;

double bestMicroseconds(int rounds, const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        run();
        const std::chrono::duration<double, std::micro> took = Clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

std::size_t readOnly(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return 0;
    }
    std::vector<char> buffer(1 << 16);
    std::size_t total = 0;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) {
        total += n;
    }
    std::fclose(f);
    return total;
}

void measure(const char* name, const std::string& path, int rounds = 50) {
    std::size_t bytes = 0;
    const double read = bestMicroseconds(rounds, [&] { bytes = readOnly(path); });
    nyra::ChipCatalogue catalogue;
    std::size_t notes = 0;
    catalogue.setLogSink([&](const std::string&) { ++notes; });
    const double load = bestMicroseconds(rounds, [&] { catalogue.load(path); });
    std::printf(
        "%-10s %9zu bytes %5u records %2zu notes  read %10.1f us  load+parse %10.1f us  "
        "ratio %6.1f\n",
        name, bytes, catalogue.count(), notes / static_cast<std::size_t>(rounds), read, load,
        read > 0 ? load / read : 0.0);
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::string defaultDatabase() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    for (const auto& candidate :
         {exe.parent_path() / ".." / "demo" / "database.dat",
          std::filesystem::path("demo") / "database.dat", std::filesystem::path("database.dat")}) {
        if (!ec && std::filesystem::exists(candidate)) {
            return candidate.string();
        }
    }
    return {};
}

std::string syntheticText() {
    std::string text;
    for (int type = 0; type < 6; ++type) {
        text += "$TYPE " + std::to_string(type) + "\r\n";
        for (int maker = 0; maker < 10; ++maker) {
            text += "#MAKER " + std::to_string(maker) + ":\r\n";
            const int chips = type == 0 && maker == 0 ? 38 : 18;
            for (int chip = 0; chip < chips; ++chip) {
                text += "@DEVICE-" + std::to_string(type) + std::to_string(maker) +
                        std::to_string(chip) + ":256:4:16MB:N:300:EF40" +
                        std::to_string(10 + chip) + ":00EF17:3.3V:000\r\n";
            }
        }
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string shipped = argc > 1 ? argv[1] : defaultDatabase();
    if (shipped.empty() || !std::filesystem::exists(shipped)) {
        std::printf("shipped database.dat not found; pass its path\n");
    } else {
        measure("shipped", shipped);
    }

    const auto built = nyra::buildDatabase(syntheticText());
    if (!built.ok()) {
        std::printf("synthetic catalogue refused: %s\n", built.errors.front().message.c_str());
        return 1;
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("nyra_bench_" + std::to_string(::getpid()) + ".dat");
    writeFile(path, built.database);
    measure("synthetic", path.string());

    // Three million chip lines with too few fields: one note, not millions.
    std::string broken = "$T\r\n#M:\r\n";
    for (int i = 0; i < 3000000; ++i)
        broken += "@BROKEN:1:2\r\n";
    const auto scrambled = nyra::catalogue_codec::scramble(broken);
    if (scrambled) {
        writeFile(path, *scrambled);
        measure("malformed", path.string(), 3);
    }
    std::filesystem::remove(path);
    return 0;
}
