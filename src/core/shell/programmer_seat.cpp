// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/programmer_seat.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/text_language.h"
#include "device/firmware_image.h"
#include "ops/transfers.h"

namespace nyra {

ProgrammerSeatTexts programmerSeatTexts(const TextTable& texts) {
    if (textLanguage(texts).starts_with("zh"))
        return {"选择编程器(&P)...",     "选择编程器",     "连接了多台编程器，本窗口使用：",
                "本窗口现在使用编程器 ", "，不能同时使用", "只连接了一台编程器"};
    return {"Choose &Programmer...",
            "Choose programmer",
            "Several programmers are connected; this window uses:",
            "This window now uses programmer ",
            "; one process drives a programmer at a time",
            "Only one programmer is connected"};
}

std::string programmerItem(const ProgrammerEntry& entry) {
    std::string item = std::to_string(entry.position) + ": ";
    if (!entry.opened)
        return item + entry.busPath + " (in use)";
    if (entry.bootLoader)
        return item + entry.busPath + " (boot loader)";
    item += entry.serial ? serialNumberText(*entry.serial) : entry.busPath;
    if (entry.firmwareVersion)
        item += ", " + firmwareVersionText(*entry.firmwareVersion);
    return item;
}

std::string ProgrammerSeat::rememberedPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    if (config && config[0] == '/')
        folder = config;
    else if (home && *home)
        folder = std::string(home) + "/.config";
    else
        return {};
    return folder + "/kvq-nyra/programmer";
}

std::optional<std::uint32_t> ProgrammerSeat::remembered() {
    std::ifstream in(rememberedPath());
    std::string word;
    if (!(in >> word))
        return std::nullopt;
    const auto wanted = parseProgrammerWanted(word);
    return wanted ? wanted->serial : std::nullopt;
}

bool ProgrammerSeat::several() const {
    return programmerPaths(usb_).size() > 1;
}

std::vector<ProgrammerEntry> ProgrammerSeat::list() const {
    return listProgrammers(usb_);
}

std::optional<std::size_t> ProgrammerSeat::current(
    const std::vector<ProgrammerEntry>& entries) const {
    const std::string path = link_.pinnedPath();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (path.empty() ? i == 0 : entries[i].busPath == path)
            return i;
    }
    return std::nullopt;
}

std::string ProgrammerSeat::lockOn(const ProgrammerEntry& entry) {
    if (driven_ && lockName(*driven_) == lockName(entry)) {
        driven_ = entry;  // back under a new device number
        return {};
    }
    ProgrammerLock next;
    std::string holder;
    if (!next.acquire(lockName(entry), holder))
        return "programmer " + lockName(entry) + " is in use by " + holder;
    lock_ = std::move(next);
    driven_ = entry;
    return {};
}

std::string ProgrammerSeat::drivenSerial() const {
    return driven_ && driven_->serial ? serialNumberText(*driven_->serial) : std::string();
}

bool ProgrammerSeat::drivenPresent() const {
    const std::vector<std::string> paths = programmerPaths(usb_);
    return driven_ && std::find(paths.begin(), paths.end(), driven_->busPath) != paths.end();
}

std::string ProgrammerSeat::take() {
    if (!enabled_)
        return {};
    const std::vector<std::string> paths = programmerPaths(usb_);
    if (paths.empty())
        return {};
    std::optional<ProgrammerEntry> entry;
    if (paths.size() > 1) {
        const auto serial = remembered();
        const std::vector<ProgrammerEntry> entries = list();
        for (const ProgrammerEntry& e : entries) {
            if (serial && e.serial == serial)
                entry = e;
        }
        // Pinned either way: unplugged, it is not silently replaced by the next one.
        if (!entry)
            entry = entries.front();
        link_.pin(entry->busPath);
    } else {
        entry = askProgrammer(usb_, paths.front(), 1);
    }
    return lockOn(*entry);
}

std::string ProgrammerSeat::choose(const ProgrammerEntry& entry) {
    if (const std::string refused = lockOn(entry); !refused.empty())
        return refused;
    link_.pin(entry.busPath);
    const std::string path = rememberedPath();
    if (entry.serial && !path.empty()) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        std::ofstream(path) << serialNumberText(*entry.serial) << "\n";
    }
    return {};
}

}  // namespace nyra
