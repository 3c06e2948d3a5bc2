// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"
#include "sim/feeder.h"
#include "sim/simulator.h"

namespace nyra::sim {

// The demo device's settings: a small key=value file (# starts a comment).
//   programmers=0|1|2        chip=<name or description>|none   image=<path>|none
//   chip2=...  image2=...    (second programmer; chip2 defaults to chip, memory only)
//   timing=<factor>          adapter=0|1     firmware=<version byte>
//   serial=<n>  serial2=<n>  control=<socket path>|off
//   fault.<name>=<value>     fault2.<name>=<value>   (see faults.h)
//   feeder=on|off  feeder.<name>=<value>  feeder2=...  feeder2.<name>=...   (see feeder.h)
struct SimConfig {
    int programmers = 1;
    std::string chip =
        "W25X40";  // its ID names one catalogue record: no question on the first screen
    std::string image = "sim-chip.bin";
    std::string chip2;
    std::string image2;
    double timing = 1.0;
    bool adapter = false;
    std::uint8_t firmwareVersion = 0x21;
    std::uint32_t serial = 100001;
    std::uint32_t serial2 = 100002;
    std::string control;  // empty: defaultControlPath(); "off": no control socket
    Faults faults;
    Faults faults2;
    FeederSettings feeder;
    FeederSettings feeder2;
    std::string source = "defaults";    // where the settings came from
    std::vector<std::string> warnings;  // lines that were not understood
};

inline constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Problems become warnings; everything else still applies. Relative image
// paths are taken from baseDir when it is not empty.
SimConfig parseConfigText(std::string_view text, const std::string& baseDir = {});
// The file named by NYRA_SIM_CONFIG, else ./kvq-sim.conf, else the defaults.
SimConfig loadConfig();
bool readConfigFile(const std::string& path, std::string& text, std::string* error);

// $XDG_RUNTIME_DIR/kvq-nyra-sim.sock, else /tmp/kvq-nyra-sim-<uid>.sock.
std::string defaultControlPath();
std::string controlPathOf(const SimConfig& config);  // "" when switched off

// Where a programmer keeps the firmware it runs, beside its chip image, so that
// an upgrade outlives the run as the chip's contents do: "<image>.firmware",
// or "" when the chip has no image file.
std::string firmwareStatePath(const std::string& image);
// The version byte stored there ("0x13"), if the file holds one.
std::optional<std::uint8_t> loadFirmwareState(const std::string& path);
bool saveFirmwareState(const std::string& path, std::uint8_t version);

// A simulator set up as the configuration says; problems are appended to warnings.
std::unique_ptr<Simulator> makeSimulator(const SimConfig& config,
                                         std::vector<std::string>& warnings,
                                         TimeSource* time = nullptr);

}  // namespace nyra::sim
