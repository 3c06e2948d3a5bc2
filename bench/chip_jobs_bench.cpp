// Program, read and verify of a 16 MiB and a 128 MiB image through the
// simulated programmer (device timing off), each against a plain copy and a
// compare of the same bytes in the same run; then erase + program + verify of
// the 16 MiB image against flashrom's dummy programmer when it is installed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "ops/chip_jobs.h"
#include "shell/app_state.h"
#include "sim/usb_binding.h"
#include "timing.h"
#include "ui/scripted_frontend.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kCatalogue =
    "$25 SPI FLASH\r\n#WINBOND:\r\n"
    "@W25Q128FV:256:4:16MB:N:300:EF4018:00EF17:3.3V:000\r\n"
    "@W25Q01BENCH:256:4:128MB:N:400:EF4021:000000:3.3V:010\r\n";

using nyra::bench::seconds;

bool writeRandom(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(3);
    std::vector<std::uint64_t> chunk((1 << 20) / 8);
    for (std::size_t done = 0; done < bytes; done += 1 << 20) {
        for (auto& word : chunk)
            word = random();
        out.write(reinterpret_cast<const char*>(chunk.data()), 1 << 20);
    }
    return static_cast<bool>(out);
}

// What the jobs do at the least: the bytes copied once and compared once.
double copyAndCompare(const std::string& from, const std::string& to) {
    return seconds([&] {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        std::ifstream a(from, std::ios::binary);
        std::ifstream b(to, std::ios::binary);
        std::vector<char> x(1 << 20), y(1 << 20);
        while (a.read(x.data(), static_cast<std::streamsize>(x.size())) &&
               b.read(y.data(), static_cast<std::streamsize>(y.size()))) {
            if (std::memcmp(x.data(), y.data(), x.size()) != 0)
                std::fprintf(stderr, "copy differs\n");
        }
    });
}

struct Times {
    double program = 0, read = 0, verify = 0, erase = 0, sequence = 0;
    bool ok = false;
};

Times runJobs(const std::string& folder, const nyra::sim::ChipModel& chip,
              const std::string& image) {
    nyra::sim::SimulatorOptions options;
    options.chip = chip;
    nyra::sim::Simulator simulator(options);
    nyra::sim::usb::ScopedBinding binding(simulator);
    const nyra::UsbApi usb = nyra::sim::usb::api();
    nyra::ScriptedFrontend frontend;
    nyra::SystemClock clock;
    nyra::AppState state(frontend, clock, usb);
    state.startUp(folder);
    state.worker().waitUntilIdle();
    Times t;
    if (!state.fileLoader().loadFile(image, true))
        return t;
    nyra::JobContext& context = state.jobContext();
    bool ok = true;
    t.erase = seconds([&] { ok = nyra::eraseChip(context, true) && ok; });
    t.program = seconds([&] { ok = nyra::programChip(context, true) && ok; });
    t.verify = seconds([&] { ok = nyra::verifyChip(context, true) && ok; });
    t.read = seconds([&] { ok = nyra::readChip(context) && ok; });
    // The automatic sequence: erase, program and verify as one job.
    if (!state.fileLoader().loadFile(image, true))
        return t;
    t.sequence = seconds([&] { ok = nyra::automaticSequence(context) && ok; });
    t.ok = ok;
    state.shutdown();
    return t;
}

}  // namespace

int main() {
    const std::string folder =
        fs::temp_directory_path() / ("nyra_jobs_bench_" + std::to_string(::getpid())) / "";
    fs::create_directories(folder);
    const nyra::BuildResult built = nyra::buildDatabase(kCatalogue);
    std::ofstream(folder + "database.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(built.database.data()),
               static_cast<std::streamsize>(built.database.size()));

    int rc = 0;
    double ours16 = 0;
    for (const std::size_t mib : {16u, 128u}) {
        nyra::sim::ChipModel chip = *nyra::sim::builtinChip("W25Q128FV");
        if (mib == 128) {
            chip.name = "W25Q01BENCH";
            chip.jedecId = 0xEF4021;
            chip.remsId.reset();
            chip.size = 128u << 20;
        }
        const std::string image = folder + "image.bin";
        if (!writeRandom(image, mib << 20)) {
            std::fprintf(stderr, "cannot write %s\n", image.c_str());
            return 1;
        }
        const double baseline = copyAndCompare(image, folder + "copy.bin");
        const Times t = runJobs(folder, chip, image);
        if (!t.ok) {
            std::fprintf(stderr, "a job failed on the %zu MiB chip\n", mib);
            rc = 1;
            continue;
        }
        std::printf("%zu MiB: copy+compare %.3f s; erase %.3f s\n", mib, baseline, t.erase);
        std::printf("  program %.3f s  ratio %.2f\n", t.program, t.program / baseline);
        std::printf("  read    %.3f s  ratio %.2f\n", t.read, t.read / baseline);
        std::printf("  verify  %.3f s  ratio %.2f\n", t.verify, t.verify / baseline);
        if (mib == 16)
            ours16 = t.sequence;
    }

    // flashrom erases, writes and verifies the same image on its emulated chip.
    if (ours16 > 0 && std::system("command -v flashrom >/dev/null 2>&1") == 0) {
        const std::string image = folder + "image16.bin";
        writeRandom(image, 16u << 20);
        const std::string chipFile = folder + "flashrom_chip.bin";
        writeRandom(chipFile, 16u << 20);
        const std::string command = "flashrom -p dummy:emulate=W25Q128FV,image=" + chipFile +
                                    " -w " + image + " >/dev/null 2>&1";
        int status = 0;
        const double theirs = seconds([&] { status = std::system(command.c_str()); });
        if (status == 0) {
            std::printf("16 MiB automatic sequence: ours %.3f s, flashrom %.3f s, ratio %.2f\n",
                        ours16, theirs, ours16 / theirs);
        } else {
            std::printf("flashrom failed (status %d)\n", status);
        }
    } else {
        std::printf("flashrom not installed: no comparison\n");
    }
    fs::remove_all(folder);
    return rc;
}
