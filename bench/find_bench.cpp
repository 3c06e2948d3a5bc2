// SPDX-License-Identifier: GPL-3.0-or-later
// The find tool over a 1 GiB working file (warm page cache) against memmem
// over the same bytes in memory, both searching for a pattern that is not
// there, so each goes through every byte. A ratio near 1 means the search runs
// at memory speed; the window reads are the only extra cost.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "buffer/byte_finder.h"
#include "buffer/working_file.h"
#include "random_file.h"
#include "timing.h"

int main() {
    constexpr std::size_t kBytes = std::size_t{1} << 30;
    const std::string path = std::filesystem::temp_directory_path() /
                             ("nyra_find_bench_" + std::to_string(::getpid()) + ".bin");
    if (!nyra::bench::writeRandomFile(path, kBytes, 11)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    nyra::WorkingFile file;
    if (!file.openReadOnly(path)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<std::uint8_t> memory(kBytes);
    file.readAt(0, memory.data(), memory.size());  // also warms the page cache
    // Eight bytes that random data of this size holds with odds of 2^-34.
    const std::vector<std::uint8_t> pattern{0x4B, 0x56, 0x51, 0x4E, 0x00, 0xFF, 0x13, 0x37};

    const void* plain = nullptr;
    const double memmemSeconds = nyra::bench::seconds(
        [&] { plain = ::memmem(memory.data(), memory.size(), pattern.data(), pattern.size()); });
    bool found = false;
    const double findSeconds = nyra::bench::seconds([&] {
        nyra::ByteFinder finder([&file](std::uint64_t offset, std::uint8_t* out,
                                        std::size_t n) { return file.readAt(offset, out, n); },
                                kBytes, pattern);
        found = finder.next().has_value();
    });
    std::filesystem::remove(path);
    if (found != (plain != nullptr)) {
        std::fprintf(stderr, "the two searches disagree\n");
        return 1;
    }
    const double gib = static_cast<double>(kBytes) / (1 << 30);
    std::printf("find over 1 GiB: %.2f GiB/s  memmem %.2f GiB/s  ratio %.2f (aim >= 0.5)\n",
                gib / findSeconds, gib / memmemSeconds, memmemSeconds / findSeconds);
    return 0;
}
