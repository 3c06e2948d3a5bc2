// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
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

// What one programmer of the demo device holds and does.
struct ProgrammerSettings {
    std::string chip;   // name or description, "none"; empty: the first programmer's
    std::string image;  // image file; empty: memory only
    std::uint32_t serial = 0;
    Faults faults;
    FeederSettings feeder;
};

// The demo device's settings: a small key=value file (# starts a comment).
//   programmers=0..8         timing=<factor>   adapter=0|1   firmware=<version byte>
//   chip=<name or description>|none   image=<path>|none   serial=<n>
//   chipN=...  imageN=...  serialN=...   (programmer N, 2..8; chipN defaults to
//                                          chip, imageN to memory only)
//   fault.<name>=<value>     faultN.<name>=<value>   (see faults.h)
//   feeder=on|off  feeder.<name>=<value>  feederN=...  feederN.<name>=...   (see feeder.h)
//   control=<socket path>|off
struct SimConfig {
    SimConfig();
    int programmers = 1;
    std::array<ProgrammerSettings, kMaxProgrammers> slots;
    double timing = 1.0;
    bool adapter = false;
    std::uint8_t firmwareVersion = 0x21;
    std::string control;                // empty: defaultControlPath(); "off": no control socket
    std::string source = "defaults";    // where the settings came from
    std::vector<std::string> warnings;  // lines that were not understood

    // The chip in programmer i's socket at start (chipN falls back to chip).
    const std::string& chipOf(int i) const;
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
