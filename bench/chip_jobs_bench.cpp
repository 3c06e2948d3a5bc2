// SPDX-License-Identifier: GPL-3.0-or-later
// Program, read and verify of a 16 MiB and a 128 MiB image through the
// simulated programmer (device timing off), each against a plain copy and a
// compare of the same bytes in the same run; then erase + program + verify of
// the 16 MiB image against flashrom's dummy programmer when it is installed.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "ops/chip_jobs.h"
#include "random_file.h"
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

// Time the protocol makes the host wait: the pauses it prescribes and the
// reads that must run into their time-out (drains, the end of a reply).
std::atomic<std::int64_t> waitedUs{0};

class WaitCountingClock final : public nyra::Clock {
public:
    std::int64_t nowMs() const override { return system_.nowMs(); }
    void sleepMs(std::int64_t ms) override {
        waitedUs += ms * 1000;
        system_.sleepMs(ms);
    }
    nyra::LocalTime localTime() const override { return system_.localTime(); }

private:
    nyra::SystemClock system_;
};

int (*simulatedBulkRead)(usb_dev_handle*, int, char*, int, int) = nullptr;

int timedBulkRead(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) {
    const auto start = std::chrono::steady_clock::now();
    const int result = simulatedBulkRead(dev, ep, bytes, size, timeout);
    if (result == -ETIMEDOUT) {
        waitedUs += std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    }
    return result;
}

double takeWaitSeconds() {
    return static_cast<double>(waitedUs.exchange(0)) / 1e6;
}

// A job's wall time and the part of it spent in the protocol's waits.
struct JobTime {
    double seconds = 0, waits = 0;
    double working() const { return seconds - waits; }
};

struct Times {
    JobTime erase, program, verify, read, sequence;
    bool ok = false;
};

Times runJobs(const std::string& folder, const nyra::sim::ChipModel& chip,
              const std::string& image) {
    nyra::sim::SimulatorOptions options;
    options.chip = chip;
    nyra::sim::Simulator simulator(options);
    nyra::sim::usb::ScopedBinding binding(simulator);
    nyra::UsbApi usb = nyra::sim::usb::api();
    simulatedBulkRead = usb.bulkRead;
    usb.bulkRead = timedBulkRead;
    nyra::ScriptedFrontend frontend;
    WaitCountingClock clock;
    nyra::AppState state(frontend, clock, usb);
    state.startUp(folder);
    state.worker().waitUntilIdle();
    Times t;
    if (!state.fileLoader().loadFile(image, true))
        return t;
    nyra::JobContext& context = state.jobContext();
    bool ok = true;
    const auto timed = [&](auto job) {
        takeWaitSeconds();
        JobTime time;
        time.seconds = seconds([&] { ok = job() && ok; });
        time.waits = takeWaitSeconds();
        return time;
    };
    t.erase = timed([&] { return nyra::eraseChip(context, true); });
    t.program = timed([&] { return nyra::programChip(context, true); });
    t.verify = timed([&] { return nyra::verifyChip(context, true); });
    t.read = timed([&] { return nyra::readChip(context); });
    // The automatic sequence: erase, program and verify as one job.
    if (!state.fileLoader().loadFile(image, true))
        return t;
    t.sequence = timed([&] { return nyra::automaticSequence(context); });
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
    JobTime ours16;
    for (const std::size_t mib : {16u, 128u}) {
        nyra::sim::ChipModel chip = *nyra::sim::builtinChip("W25Q128FV");
        if (mib == 128) {
            chip.name = "W25Q01BENCH";
            chip.jedecId = 0xEF4021;
            chip.remsId.reset();
            chip.size = 128u << 20;
        }
        const std::string image = folder + "image.bin";
        if (!nyra::bench::writeRandomFile(image, mib << 20, 3)) {
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
        std::printf("%zu MiB: copy+compare %.3f s (job time, of which protocol waits)\n", mib,
                    baseline);
        const auto line = [&](const char* job, const JobTime& time) {
            std::printf("  %-9s %.3f s  %.3f s  ratio %6.2f  without the waits %6.2f\n", job,
                        time.seconds, time.waits, time.seconds / baseline,
                        time.working() / baseline);
        };
        line("erase", t.erase);
        line("program", t.program);
        line("read", t.read);
        line("verify", t.verify);
        line("auto", t.sequence);
        if (mib == 16)
            ours16 = t.sequence;
    }

    // flashrom erases, writes and verifies the same image on its emulated chip.
    if (ours16.seconds > 0 && std::system("command -v flashrom >/dev/null 2>&1") == 0) {
        const std::string image = folder + "image16.bin";
        nyra::bench::writeRandomFile(image, 16u << 20, 3);
        const std::string chipFile = folder + "flashrom_chip.bin";
        // Other bytes than the image: on equal bytes flashrom skips erase and write.
        nyra::bench::writeRandomFile(chipFile, 16u << 20, 5);
        const std::string command = "flashrom -p dummy:emulate=W25Q128FV,image=" + chipFile +
                                    " -w " + image + " >/dev/null 2>&1";
        int status = 0;
        const double theirs = seconds([&] { status = std::system(command.c_str()); });
        if (status == 0) {
            std::printf(
                "16 MiB automatic sequence: ours %.3f s, flashrom %.3f s, ratio %.2f; "
                "without our protocol waits %.2f\n",
                ours16.seconds, theirs, ours16.seconds / theirs, ours16.working() / theirs);
        } else {
            std::printf("flashrom failed (status %d)\n", status);
        }
    } else {
        std::printf("flashrom not installed: no comparison\n");
    }
    fs::remove_all(folder);
    return rc;
}
