// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/config.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sim/chip_model.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

constexpr std::size_t kMaxLine = 4096;

std::string resolvePath(std::string_view value, const std::string& baseDir) {
    if (text::iequals(value, "none"))
        return {};
    std::string path(value);
    if (!path.empty() && path.front() != '/' && !baseDir.empty())
        path = baseDir + "/" + path;
    return path;
}

// "chip" is programmer 0, "chip3" programmer 2; -1 for another key or a
// number out of range. rest is what follows the number ("", or ".name").
int slotOfKey(std::string_view key, std::string_view base, std::string_view& rest) {
    if (!key.starts_with(base))
        return -1;
    std::string_view tail = key.substr(base.size());
    int slot = 0;
    if (!tail.empty() && tail.front() >= '1' && tail.front() <= '9') {
        slot = tail.front() - '1';
        tail.remove_prefix(1);
        if (slot == 0 || slot >= kMaxProgrammers)
            return -1;
    }
    if (!tail.empty() && tail.front() != '.')
        return -1;
    rest = tail;
    return slot;
}

bool applyProgrammerKey(ProgrammerSettings& p, std::string_view base, std::string_view rest,
                        std::string_view value, const std::string& baseDir, std::string& problem) {
    std::uint64_t number = 0;
    const bool named = !rest.empty();
    const std::string_view name = named ? rest.substr(1) : rest;
    if (base == "fault" && named)
        return setFault(p.faults, name, value, &problem);
    if (base == "feeder")
        return setFeederSetting(p.feeder, named ? name : "on", value, &problem);
    if (named) {
        problem = "unknown key";
        return false;
    }
    if (base == "chip") {
        std::string error;
        if (!text::iequals(value, "none") && !parseChipDescription(value, &error)) {
            problem = error;
            return false;
        }
        p.chip = std::string(value);
    } else if (base == "image") {
        p.image = resolvePath(value, baseDir);
    } else if (base == "serial") {
        if (!text::parseUnsigned(value, number) || number > 0xFFFFFF) {
            problem = "expected a number up to 16777215";
            return false;
        }
        p.serial = static_cast<std::uint32_t>(number);
    } else {
        problem = "unknown key";
        return false;
    }
    return true;
}

bool applyKey(SimConfig& c, std::string_view key, std::string_view value,
              const std::string& baseDir, std::string& problem) {
    std::uint64_t number = 0;
    for (const std::string_view base : {"chip", "image", "serial", "fault", "feeder"}) {
        std::string_view rest;
        const int slot = slotOfKey(key, base, rest);
        if (slot >= 0)
            return applyProgrammerKey(c.slots[static_cast<std::size_t>(slot)], base, rest, value,
                                      baseDir, problem);
    }
    if (key == "programmers") {
        if (!text::parseUnsigned(value, number) || number > kMaxProgrammers) {
            problem = "expected a number from 0 to " + std::to_string(kMaxProgrammers);
            return false;
        }
        c.programmers = static_cast<int>(number);
    } else if (key == "timing") {
        double factor = 0;
        if (!text::parseDouble(value, factor) || factor < 0 || factor > 1000) {
            problem = "expected a factor from 0 to 1000";
            return false;
        }
        c.timing = factor;
    } else if (key == "adapter") {
        if (!text::parseBool(value, c.adapter)) {
            problem = "expected 0 or 1";
            return false;
        }
    } else if (key == "firmware") {
        if (!text::parseUnsigned(value, number) || number > 0xFF) {
            problem = "expected a version byte such as 0x21";
            return false;
        }
        c.firmwareVersion = static_cast<std::uint8_t>(number);
    } else if (key == "control") {
        c.control = std::string(value);
    } else {
        problem = "unknown key";
        return false;
    }
    return true;
}

}  // namespace

SimConfig::SimConfig() {
    // Its ID names one catalogue record: no question on the first screen.
    slots[0].chip = "W25X40";
    slots[0].image = "sim-chip.bin";
    for (std::size_t i = 0; i < slots.size(); ++i)
        slots[i].serial = 100001 + static_cast<std::uint32_t>(i);
}

const std::string& SimConfig::chipOf(int i) const {
    const std::string& own = slots[static_cast<std::size_t>(i)].chip;
    return own.empty() ? slots[0].chip : own;
}

SimConfig parseConfigText(std::string_view textIn, const std::string& baseDir) {
    SimConfig c;
    c.slots[0].image = resolvePath(c.slots[0].image, baseDir);
    if (textIn.size() > kMaxConfigBytes) {
        c.warnings.push_back("configuration larger than 1 MiB ignored");
        return c;
    }
    int lineNo = 0;
    for (std::string_view line : text::split(textIn, '\n')) {
        ++lineNo;
        const std::string where = "line " + std::to_string(lineNo) + ": ";
        if (line.size() > kMaxLine) {
            c.warnings.push_back(where + "too long, ignored");
            continue;
        }
        line = text::trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        // A '#' after a space starts a comment; a path may still hold "a#b".
        const std::size_t comment = line.find(" #");
        if (comment != std::string_view::npos)
            line = text::trim(line.substr(0, comment));
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            c.warnings.push_back(where + "expected key=value: '" + text::printable(line) + "'");
            continue;
        }
        const std::string key = text::lower(text::trim(line.substr(0, eq)));
        const std::string_view value = text::trim(line.substr(eq + 1));
        std::string problem;
        if (!applyKey(c, key, value, baseDir, problem)) {
            c.warnings.push_back(where + text::printable(key) + ": " + problem);
        }
    }
    return c;
}

bool readConfigFile(const std::string& path, std::string& textOut, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::string data(kMaxConfigBytes + 1, '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    textOut = std::move(data);
    return true;
}

SimConfig loadConfig() {
    const char* named = std::getenv("NYRA_SIM_CONFIG");
    std::string path = named && *named ? named : "kvq-sim.conf";
    std::string textIn;
    std::string error;
    if (!readConfigFile(path, textIn, &error)) {
        SimConfig c;
        if (named && *named)
            c.warnings.push_back(error + " (NYRA_SIM_CONFIG); using defaults");
        return c;
    }
    std::string baseDir;
    if (named && *named) {
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            baseDir = slash == 0 ? "/" : path.substr(0, slash);
    }
    SimConfig c = parseConfigText(textIn, baseDir);
    c.source = path;
    return c;
}

std::string defaultControlPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/kvq-nyra-sim.sock";
    return "/tmp/kvq-nyra-sim-" + std::to_string(::getuid()) + ".sock";
}

std::string controlPathOf(const SimConfig& config) {
    if (text::iequals(config.control, "off"))
        return {};
    return config.control.empty() ? defaultControlPath() : config.control;
}

std::string firmwareStatePath(const std::string& image) {
    if (image.empty() || text::iequals(image, "none"))
        return {};
    return image + ".firmware";
}

std::optional<std::uint8_t> loadFirmwareState(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    std::ifstream in(path);
    std::string word;
    if (!(in >> word))
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &end, 0);
    if (end == word.c_str() || *end != '\0' || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

bool saveFirmwareState(const std::string& path, std::uint8_t version) {
    if (path.empty())
        return false;
    std::ofstream out(path, std::ios::trunc);
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X\n", version);
    out << text;
    return static_cast<bool>(out);
}

std::unique_ptr<Simulator> makeSimulator(const SimConfig& c, std::vector<std::string>& warnings,
                                         TimeSource* time) {
    SimulatorOptions options;
    options.programmers = 0;
    options.timingFactor = c.timing;
    options.adapter = c.adapter;
    options.time = time;
    options.logCapacity = 20000;
    auto sim = std::make_unique<Simulator>(options);
    for (int i = 0; i < kMaxProgrammers; ++i) {
        const ProgrammerSettings& p = c.slots[static_cast<std::size_t>(i)];
        sim->setSerial(i, p.serial);
        const auto upgraded = loadFirmwareState(firmwareStatePath(p.image));
        sim->setFirmwareVersion(i, upgraded.value_or(c.firmwareVersion));
        sim->setFaults(i, p.faults);
        sim->setFeederSettings(i, p.feeder);
        const std::string& chip = c.chipOf(i);
        if (text::iequals(chip, "none"))
            continue;
        std::string error;
        const auto model = parseChipDescription(chip, &error);
        if (!model) {
            warnings.push_back("programmer " + std::to_string(i + 1) + ": " + error);
            continue;
        }
        if (!sim->insertChip(i, *model, p.image, &error) || !error.empty()) {
            warnings.push_back("programmer " + std::to_string(i + 1) + ": " + error);
        }
    }
    for (int i = 0; i < c.programmers && i < kMaxProgrammers; ++i)
        sim->plug(i);
    return sim;
}

}  // namespace nyra::sim
