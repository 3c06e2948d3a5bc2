// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's outside input: its settings file, chip descriptions and
// control commands.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/config.h"
#include "sim/control.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    nyra::sim::SimConfig config = nyra::sim::parseConfigText(text);
    (void)config;
    std::string error;
    (void)nyra::sim::parseChipDescription(text, &error);

    static nyra::sim::Simulator simulator(nyra::sim::SimulatorOptions{});
    nyra::sim::Control control(simulator);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        (void)control.run(line);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return 0;
}
