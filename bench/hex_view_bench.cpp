// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one hex view refresh against the size of the data: a 1 KiB file
// against a sparse 4 GiB - 1 byte file scrolled through with thumb moves.
// A ratio near 1 means a refresh reads only the window, never the whole file;
// the resident memory before and after the scroll says the same of memory.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/clock.h"
#include "app/text_table.h"
#include "buffer/data_buffer.h"
#include "buffer/hex_view_model.h"
#include "ui/job_flags.h"
#include "ui/log_model.h"
#include "ui/operation_log.h"
#include "ui/panel.h"
#include "ui/scripted_frontend.h"
#include "ui/status_line.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRefreshes = 2000;
constexpr std::uint64_t kBigSize = 0xFFFFFFFFull;  // 4 GiB - 1

long residentKib() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

bool makeFile(const std::string& path, std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    return ::close(fd) == 0 && sized;
}

struct Setup {
    nyra::Panel panel;
    nyra::LogModel logModel;
    nyra::VirtualClock clock{{2026, 1, 2, 3, 4, 5, 0}};
    nyra::OperationLog log{logModel, clock};
    nyra::ScriptedFrontend frontend;
    nyra::StatusLine status{panel, log, frontend};
    nyra::TextTable texts;
    nyra::JobFlags jobs;
    nyra::DataBuffer data;
    std::uint32_t chip = 0;
    nyra::HexViewModel view{data, [this] { return chip; }, panel, status, frontend, texts, jobs};

    bool open(const std::string& working, const std::string& reference) {
        data.reset();
        if (!data.openWorking(working) || !data.openReference(reference))
            return false;
        data.loaded(0);  // all zero bytes
        chip = static_cast<std::uint32_t>(data.working().length());
        data.updateRows(chip);
        view.resetForLoad(true);
        view.setScrollRange();
        view.refreshView();
        return true;
    }
};

// Seconds per refresh, the thumb stepping over the bar's whole range.
double timeRefreshes(Setup& setup) {
    const auto bar = setup.view.scrollBar();
    const int span = bar.maximum > bar.minimum ? bar.maximum - bar.minimum : 0;
    double seconds = 0;
    for (int i = 0; i < kRefreshes; ++i) {
        if (span > 0)
            setup.view.scroll(nyra::HexScroll::Thumb,
                              bar.minimum + static_cast<int>(static_cast<long long>(span) * i /
                                                             (kRefreshes - 1)));
        const auto start = Clock::now();
        setup.view.refreshView();
        const std::chrono::duration<double> took = Clock::now() - start;
        seconds += took.count();
    }
    return seconds / kRefreshes;
}

}  // namespace

int main() {
    char folderTemplate[] = "/tmp/nyra-hex-bench-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderTemplate;
    int rc = 0;
    {
        const std::string smallWork = folder + "/small_work.bin";
        const std::string smallRef = folder + "/small_ref.bin";
        const std::string bigWork = folder + "/big_work.bin";
        const std::string bigRef = folder + "/big_ref.bin";
        Setup small;
        Setup big;
        if (!makeFile(smallWork, 1024) || !makeFile(smallRef, 1024) ||
            !makeFile(bigWork, kBigSize) || !makeFile(bigRef, kBigSize) ||
            !small.open(smallWork, smallRef) || !big.open(bigWork, bigRef)) {
            std::fprintf(stderr, "cannot prepare the files in %s\n", folder.c_str());
            rc = 1;
        } else {
            const double smallSeconds = timeRefreshes(small);
            const long before = residentKib();
            const double bigSeconds = timeRefreshes(big);
            const long after = residentKib();
            std::printf("big file: %u rows, last view start %u\n", big.data.rows().total,
                        big.view.viewStart());
            std::printf("1 KiB file:          %.2f us per refresh\n", smallSeconds * 1e6);
            std::printf("4 GiB - 1 byte file: %.2f us per refresh\n", bigSeconds * 1e6);
            std::printf("ratio big/small: %.2f\n", bigSeconds / smallSeconds);
            std::printf("VmRSS before scrolling: %ld KiB, after: %ld KiB\n", before, after);
        }
    }
    std::filesystem::remove_all(folder);
    return rc;
}
