// SPDX-License-Identifier: GPL-3.0-or-later
// The file fill writing 256 MiB into the working file (page cache, no sync)
// against dd writing the same bytes in the same piece size, each into a new
// file and then over the same file again. A ratio near 1 means the fill costs
// no more than the writes themselves; it also keeps the checksum as it goes.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "buffer/data_buffer.h"
#include "timing.h"

namespace {

constexpr std::uint64_t kBytes = std::uint64_t{256} << 20;

std::string tempPath(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("nyra_fill_bench_") + name + "_" + std::to_string(::getpid()) + ".bin");
}

double fillSeconds(const std::string& path, bool fresh) {
    if (fresh)
        std::filesystem::remove(path);
    nyra::DataBuffer data;
    if (!data.openWorking(path, true))
        return -1;
    data.loaded(0);
    bool ok = false;
    const double s = nyra::bench::seconds([&] { ok = data.fillBytes(0, kBytes, 0x00); });
    return ok && data.dataChecksum() == 0 ? s : -1;
}

double ddSeconds(const std::string& path, bool fresh) {
    if (fresh)
        std::filesystem::remove(path);
    const std::string command =
        "dd if=/dev/zero of=" + path + " bs=8192 count=32768 conv=notrunc status=none";
    int status = 0;
    const double s = nyra::bench::seconds([&] { status = std::system(command.c_str()); });
    return status == 0 ? s : -1;
}

}  // namespace

int main() {
    const std::string ours = tempPath("fill");
    const std::string theirs = tempPath("dd");
    double best[2][2] = {{1e9, 1e9}, {1e9, 1e9}};  // [fill, dd][new, over]
    for (int round = 0; round < 3; ++round) {
        for (int over = 0; over < 2; ++over) {
            const double f = fillSeconds(ours, over == 0);
            const double d = ddSeconds(theirs, over == 0);
            if (f < 0 || d < 0) {
                std::fprintf(stderr, "a write failed\n");
                return 1;
            }
            best[0][over] = std::min(best[0][over], f);
            best[1][over] = std::min(best[1][over], d);
        }
    }
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
    const double mib = static_cast<double>(kBytes) / (1 << 20);
    const char* names[] = {"new file", "over the data"};
    for (int over = 0; over < 2; ++over) {
        std::printf("file fill 256 MiB, %s: %.0f MiB/s  dd %.0f MiB/s  ratio %.2f (aim >= 0.5)\n",
                    names[over], mib / best[0][over], mib / best[1][over],
                    best[1][over] / best[0][over]);
    }
    return 0;
}
