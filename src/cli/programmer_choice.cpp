// SPDX-License-Identifier: GPL-3.0-or-later
#include "programmer_choice.h"

#include <sstream>

#include "detect_command.h"
#include "device/firmware_image.h"
#include "json_text.h"
#include "ops/transfers.h"

namespace nyra::cli {

namespace {

bool lock(ChosenProgrammer& chosen, std::ostream& err) {
    std::string holder;
    if (chosen.lock.acquire(lockName(chosen.entry), holder))
        return true;
    err << "programmer " << chosen.name() << " is in use by " << holder
        << "; one process drives a programmer at a time\n";
    return false;
}

std::string listed(const std::vector<ProgrammerEntry>& entries) {
    return std::to_string(entries.size()) + " connected";
}

}  // namespace

std::string ChosenProgrammer::name() const {
    return lockName(entry);
}

std::string& chosenBusPath() {
    static std::string path;
    return path;
}

int chooseProgrammer(const UsbApi& usb, const std::optional<std::string>& word,
                     std::optional<ChosenProgrammer>& chosen, std::ostream& err) {
    chosen.reset();
    std::optional<ProgrammerWanted> wanted;
    if (word) {
        wanted = parseProgrammerWanted(*word);
        if (!wanted) {
            err << "--programmer " << *word
                << ": expected a serial number or a position on the bus (1, 2, ...)\n";
            return kExitUsage;
        }
    }
    const std::vector<std::string> paths = programmerPaths(usb);
    if (!wanted && paths.empty())
        return 0;
    ChosenProgrammer found;
    if (!wanted) {
        found.entry = askProgrammer(usb, paths.front(), 1);
    } else {
        const std::vector<ProgrammerEntry> entries = listProgrammers(usb);
        const ProgrammerEntry* entry = findProgrammer(entries, *wanted);
        if (!entry) {
            err << describeWanted(*wanted) << " is not connected (" << listed(entries) << ")\n";
            return kExitNoProgrammer;
        }
        found.entry = *entry;
    }
    if (!lock(found, err))
        return kExitNoProgrammer;
    chosen.emplace(std::move(found));
    return 0;
}

int chooseProgrammers(const UsbApi& usb, const std::string& list,
                      std::vector<ChosenProgrammer>& chosen, std::ostream& err) {
    chosen.clear();
    const std::vector<ProgrammerEntry> entries = listProgrammers(usb);
    std::vector<const ProgrammerEntry*> picked;
    if (list == "all") {
        for (const ProgrammerEntry& entry : entries) {
            if (entry.opened && !entry.bootLoader)
                picked.push_back(&entry);
            else
                err << "programmer " << entry.position << " (bus " << entry.busPath
                    << ") left out: "
                    << (entry.opened ? "it waits in its boot loader" : "it cannot be opened")
                    << "\n";
        }
        if (picked.empty()) {
            err << "no programmer is connected\n";
            return kExitNoProgrammer;
        }
    } else {
        std::stringstream words(list);
        for (std::string word; std::getline(words, word, ',');) {
            const auto wanted = parseProgrammerWanted(word);
            if (!wanted) {
                err << "--programmers " << list << ": " << (word.empty() ? "an empty name" : word)
                    << " is neither a serial number nor a position on the bus\n";
                return kExitUsage;
            }
            const ProgrammerEntry* entry = findProgrammer(entries, *wanted);
            if (!entry) {
                err << describeWanted(*wanted) << " is not connected (" << listed(entries) << ")\n";
                return kExitNoProgrammer;
            }
            picked.push_back(entry);
        }
    }
    for (const ProgrammerEntry* entry : picked) {
        ChosenProgrammer one;
        one.entry = *entry;
        // Named twice: the second lock of the same programmer is refused.
        if (!lock(one, err)) {
            chosen.clear();
            return kExitNoProgrammer;
        }
        chosen.push_back(std::move(one));
    }
    return 0;
}

int listCommand(const UsbApi& usb, bool json, std::ostream& out) {
    const std::vector<ProgrammerEntry> entries = listProgrammers(usb);
    const auto serial = [](const ProgrammerEntry& e) {
        return e.serial ? serialNumberText(*e.serial) : std::string();
    };
    const auto firmware = [](const ProgrammerEntry& e) {
        return e.firmwareVersion ? firmwareVersionText(*e.firmwareVersion) : std::string();
    };
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const ProgrammerEntry& e = entries[i];
            out << (i ? "," : "") << "{\"position\":" << e.position
                << ",\"bus\":" << jsonString(e.busPath)
                << ",\"serial\":" << (e.serial ? jsonString(serial(e)) : "null")
                << ",\"firmware\":" << (e.firmwareVersion ? jsonString(firmware(e)) : "null")
                << ",\"boot_loader\":" << (e.bootLoader ? "true" : "false")
                << ",\"answered\":" << (e.opened ? "true" : "false") << "}";
        }
        out << "]\n";
    } else {
        for (const ProgrammerEntry& e : entries) {
            out << e.position << ": bus " << e.busPath;
            if (!e.opened)
                out << ", cannot be opened (in use?)";
            else if (e.bootLoader)
                out << ", boot loader";
            else
                out << ", serial " << (e.serial ? serial(e) : "none") << ", firmware "
                    << (e.firmwareVersion ? firmware(e) : "none");
            out << "\n";
        }
        if (entries.empty())
            out << "no programmer is connected\n";
    }
    return entries.empty() ? kExitNoProgrammer : 0;
}

}  // namespace nyra::cli
