// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one log line as the log grows: 100,000 lines through the main
// window's logLine (log model and log.txt), the first 1,000 against the last
// 1,000. A ratio near 1 means the cost per line does not depend on the length.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/clock.h"
#include "shell/app_state.h"
#include "sim/usb_binding.h"
#include "ui/scripted_frontend.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 100000;
constexpr int kWindow = 1000;

}  // namespace

int main() {
    char folderTemplate[] = "/tmp/nyra-log-bench-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderTemplate;
    double firstSeconds = 0;
    double lastSeconds = 0;
    {
        nyra::sim::SimulatorOptions options;
        options.programmers = 0;
        nyra::sim::Simulator simulator(options);
        nyra::sim::usb::ScopedBinding binding(simulator);
        const nyra::UsbApi api = nyra::sim::usb::api();
        nyra::ScriptedFrontend frontend;
        nyra::VirtualClock clock;
        nyra::AppState state(frontend, clock, api);
        state.startUp(folder);
        state.worker().waitUntilIdle();

        for (int i = 0; i < kLines; ++i) {
            const auto start = Clock::now();
            state.logLine("9:05:03  line " + std::to_string(i));
            const std::chrono::duration<double> took = Clock::now() - start;
            if (i < kWindow)
                firstSeconds += took.count();
            if (i >= kLines - kWindow)
                lastSeconds += took.count();
        }
        std::printf("log lines: %zu in the model\n", state.log().lineCount());
        state.shutdown();
    }
    std::filesystem::remove_all(folder);
    std::printf("first %d lines: %.2f us per line\n", kWindow, firstSeconds / kWindow * 1e6);
    std::printf("last %d lines:  %.2f us per line\n", kWindow, lastSeconds / kWindow * 1e6);
    std::printf("ratio last/first: %.2f\n", lastSeconds / firstSeconds);
    return 0;
}
