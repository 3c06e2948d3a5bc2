// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/control.h"

#include <algorithm>
#include <cstdio>

#include "sim/chip_model.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

std::string ok(const std::string& body = {}) {
    return body.empty() ? "ok\n" : "ok\n" + body;
}

std::string error(const std::string& reason) {
    return "error: " + reason + "\n";
}

// Programmer numbers are 1-based for people.
bool parseProgrammer(std::string_view word, int& out) {
    std::uint64_t n = 0;
    if (!text::parseUnsigned(word, n) || n < 1 || n > kMaxProgrammers)
        return false;
    out = static_cast<int>(n) - 1;
    return true;
}

const char* kHelp =
    "status                      programmers, chips, faults\n"
    "list-chips                  the built-in chip models\n"
    "plug [n] | unplug [n]       attach or detach programmer n (1 to 8, default 1)\n"
    "insert <chip> [n]           put a chip into an empty socket\n"
    "swap <chip> [n]             replace the chip in the socket\n"
    "remove [n]                  empty the socket\n"
    "fault <name> <value> [n]    set a fault (fault clear 1 clears all)\n"
    "feeder <name> <value> [n]   the production-line feeder: on on|off, out <time>,\n"
    "                            in <time>, bad <count>[@after], empty <count>[@after]\n"
    "taken [n]                   the chips the feeder took out\n"
    "peek <k> <address> [length] [n]\n"
    "                            bytes of taken chip k (hex address, at most 256 bytes)\n"
    "timing <factor>             scale device times (0 = instant)\n";

}  // namespace

std::string listChipsText() {
    std::string out;
    for (const auto& chip : builtinChips())
        out += describeChip(chip) + "\n  typical: " + describeTiming(chip) + "\n";
    out +=
        "generic: <family>:size=<n>[,page=<n>][,sector=<n>][,id=<hex6>][,rems=<hex6>]"
        "[,org=8|16][,pinout=standard|rotated][,program=page|byte][,name=<text>]\n"
        "families: spi-flash i2c-eeprom spi-eeprom microwire spd-eeprom\n"
        "times: tpp= tbp= tse= tbe= tce= (spi-flash), twc= (EEPROMs), e.g. tce=20s,tpp=0.7ms\n";
    return out;
}

void Control::rememberImage(const std::string& chip, const std::string& image) {
    if (!image.empty())
        images_[text::lower(chip)] = image;
}

std::string Control::run(std::string_view line) {
    if (line.size() > kMaxControlLine)
        return error("line too long");
    const auto words = text::splitWords(line);
    if (words.empty())
        return error("empty command; try help");
    const std::string cmd = text::lower(words[0]);
    const std::size_t argc = words.size() - 1;
    auto programmerAt = [&](std::size_t index, int& out) {
        out = 0;
        return words.size() <= index || parseProgrammer(words[index], out);
    };
    int n = 0;
    if (cmd == "help")
        return ok(kHelp);
    if (cmd == "status")
        return argc == 0 ? ok(status()) : error("status takes no arguments");
    if (cmd == "list-chips")
        return ok(listChipsText());
    if (cmd == "plug" || cmd == "unplug") {
        if (argc > 1 || !programmerAt(1, n))
            return error("usage: " + cmd + " [1..8]");
        const bool changed = cmd == "plug" ? sim_.plug(n) : sim_.unplug(n);
        if (!changed) {
            return error("programmer " + std::to_string(n + 1) + " is already " +
                         (cmd == "plug" ? "plugged" : "unplugged"));
        }
        return ok();
    }
    if (cmd == "insert" || cmd == "swap") {
        if (argc < 1 || argc > 2 || !programmerAt(2, n))
            return error("usage: " + cmd + " <chip> [1..8]");
        return insert(words[1], n, cmd == "swap");
    }
    if (cmd == "remove") {
        if (argc > 1 || !programmerAt(1, n))
            return error("usage: remove [1..8]");
        return sim_.removeChip(n) ? ok() : error("the socket is already empty");
    }
    if (cmd == "fault") {
        if (argc < 2 || argc > 3 || !programmerAt(3, n)) {
            std::string names;
            for (const std::string_view name : faultNames())
                names += " " + std::string(name);
            return error("usage: fault <name> <value> [1..8]; names:" + names);
        }
        std::string reason;
        if (!sim_.setFault(n, words[1], words[2], &reason))
            return error(reason);
        return ok();
    }
    if (cmd == "feeder") {
        if (argc < 2 || argc > 3 || !programmerAt(3, n))
            return error("usage: feeder <on|out|in|bad|empty> <value> [1..8]");
        std::string reason;
        if (!sim_.setFeederSetting(n, words[1], words[2], &reason))
            return error(reason);
        return ok();
    }
    if (cmd == "taken") {
        if (argc > 1 || !programmerAt(1, n))
            return error("usage: taken [1..8]");
        return ok(takenList(n));
    }
    if (cmd == "peek") {
        if (argc < 2 || argc > 4 || !programmerAt(4, n))
            return error("usage: peek <k> <address> [length] [1..8]");
        return peek(words, n);
    }
    if (cmd == "timing") {
        double factor = 0;
        if (argc != 1 || !text::parseDouble(words[1], factor) || factor < 0 || factor > 1000) {
            return error("usage: timing <factor 0..1000>");
        }
        sim_.setTimingFactor(factor);
        return ok();
    }
    return error("unknown command '" + text::printable(words[0], 40) + "'; try help");
}

std::string Control::insert(std::string_view chipText, int programmer, bool swap) {
    std::string reason;
    const auto model = parseChipDescription(chipText, &reason);
    if (!model)
        return error(reason);
    const auto it = images_.find(text::lower(chipText));
    const std::string image = it != images_.end() ? it->second : std::string();
    const bool done = swap ? sim_.swapChip(programmer, *model, image, &reason)
                           : sim_.insertChip(programmer, *model, image, &reason);
    if (!done)
        return error(reason);
    return ok(reason.empty() ? std::string() : "note: " + reason + "\n");
}

std::string Control::takenList(int programmer) const {
    std::string out;
    char line[160];
    for (const TakenChip& chip : sim_.takenChips(programmer)) {
        std::snprintf(line, sizeof line, "%zu %s%s sum 0x%08X at %lld ms%s\n", chip.number,
                      chip.chip.c_str(), chip.bad ? " (bad)" : "", chip.sum,
                      static_cast<long long>(chip.takenAtMs),
                      chip.contents.empty() ? ", contents dropped" : "");
        out += line;
    }
    return out.empty() ? "no chip taken out\n" : out;
}

std::string Control::peek(const std::vector<std::string_view>& words, int programmer) const {
    constexpr std::uint64_t kMaxPeek = 256;
    std::uint64_t number = 0;
    std::uint64_t address = 0;
    std::uint64_t length = 16;
    if (!text::parseUnsigned(words[1], number) || !text::parseHex(words[2], address) ||
        (words.size() > 3 &&
         (!text::parseUnsigned(words[3], length) || length == 0 || length > kMaxPeek)))
        return error("usage: peek <k> <hex address> [length 1..256] [1..8]");
    for (const TakenChip& chip : sim_.takenChips(programmer)) {
        if (chip.number != number)
            continue;
        if (chip.contents.empty())
            return error("the contents of chip " + std::to_string(number) + " were dropped");
        if (address >= chip.contents.size())
            return error("address past the end of the chip");
        std::string out;
        const std::uint64_t end = std::min<std::uint64_t>(address + length, chip.contents.size());
        for (std::uint64_t a = address; a < end; ++a)
            out += (a == address ? "" : " ") + text::hexByte(chip.contents[a]);
        return ok(out + "\n");
    }
    return error("no taken chip " + text::printable(words[1], 20));
}

std::string Control::status() const {
    std::string out;
    char line[200];
    for (int i = 0; i < kMaxProgrammers; ++i) {
        const ProgrammerStatus s = sim_.status(i);
        // The first two always, as before the bus held more; the others once plugged.
        if (i >= 2 && !s.plugged && !s.reenumerating)
            continue;
        const char* bus = s.plugged ? "plugged" : s.reenumerating ? "re-enumerating" : "unplugged";
        const std::string boot = !s.bootLoader ? std::string()
                                 : s.bootStage == "none"
                                     ? std::string(" (boot loader)")
                                     : " (boot loader, upgrade " + s.bootStage + ")";
        std::snprintf(line, sizeof line,
                      "programmer %d: %s, serial %06u, firmware 0x%02X%s%s, %s, session %s\n",
                      i + 1, bus, s.serial, unsigned{s.firmwareVersion}, boot.c_str(),
                      s.adapter ? ", adapter" : "", s.busy ? "busy" : "idle", s.session.c_str());
        out += line;
        out += "  socket: " + (s.chip ? describeChip(*s.chip) : std::string("empty")) + "\n";
        if (s.chip)
            out += "  image: " + (s.image.empty() ? std::string("none") : s.image) + "\n";
        out += "  faults: " + describeFaults(s.faults) + "\n";
        out += "  feeder: " + describeFeeder(s.feeder) + ", " + std::to_string(s.chipsTaken) +
               " taken out\n";
    }
    std::snprintf(line, sizeof line, "timing: %g\n", sim_.timingFactor());
    out += line;
    return out;
}

}  // namespace nyra::sim
