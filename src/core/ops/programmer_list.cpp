// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/programmer_list.h"

#include <algorithm>

#include "device/command_channel.h"
#include "device/link.h"
#include "device/protocol.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kAskTimeoutMs = 100;
// What identification answers while the programmer waits in its boot loader.
constexpr std::uint32_t kBootLoaderState = 0x000004;

// Asking must stay silent: a programmer that does not answer is listed as such.
class QuietHost : public LinkHost {
public:
    void statusAlert(TextKey) override {}
    void warningBox(TextKey) override {}
    void greyMenuCommand(int) override {}
    bool programmerBlocked() const override { return false; }
    bool deviceChangePending() const override { return false; }
};

}  // namespace

ProgrammerEntry askProgrammer(const UsbApi& usb, const std::string& busPath, int position) {
    ProgrammerEntry entry;
    entry.position = position;
    entry.busPath = busPath;
    QuietHost host;
    Link link(usb, host);
    link.pin(busPath);
    if (!link.connect(false))
        return entry;
    entry.opened = true;
    CommandFrame block{};
    block[0] = kFrameStart;
    block[19] = kFrameEnd;
    CommandChannel channel(link, block);
    std::uint8_t* reply = link.transferBuffer().data() + kReplyOffset;
    if (channel.sendCommand(cmd::kFirmwareVersion, kAskTimeoutMs) &&
        link.readReply(reply, 1, kAskTimeoutMs) == 1)
        entry.firmwareVersion = reply[0];
    const ProgrammerSerial serial = readProgrammerSerial(channel, link, kAskTimeoutMs);
    if (serial.answer == ProgrammerSerial::Answer::Read)
        entry.serial = serial.number;
    if (!entry.firmwareVersion && !entry.serial && channel.sendCommand(cmd::kReadIdentity, 500) &&
        readFully(link, reply, 3, 500) == 3)
        entry.bootLoader = (std::uint32_t{reply[0]} << 16 | std::uint32_t{reply[1]} << 8 |
                            reply[2]) == kBootLoaderState;
    link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
    return entry;
}

std::vector<ProgrammerEntry> listProgrammers(const UsbApi& usb) {
    std::vector<ProgrammerEntry> entries;
    int position = 0;
    for (const std::string& path : programmerPaths(usb))
        entries.push_back(askProgrammer(usb, path, ++position));
    return entries;
}

std::string lockName(const ProgrammerEntry& entry) {
    if (entry.serial)
        return serialNumberText(*entry.serial);
    std::string place = "usb-" + entry.busPath;
    std::replace(place.begin(), place.end(), '/', '-');
    return place;
}

std::optional<ProgrammerWanted> parseProgrammerWanted(const std::string& word) {
    if (word.empty() || word.size() > 8 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const unsigned long value = std::stoul(word);
    ProgrammerWanted wanted;
    if (word.size() <= 2) {
        if (value == 0)
            return std::nullopt;
        wanted.position = static_cast<int>(value);
    } else {
        if (value > 0xFFFFFF)
            return std::nullopt;
        wanted.serial = static_cast<std::uint32_t>(value);
    }
    return wanted;
}

const ProgrammerEntry* findProgrammer(const std::vector<ProgrammerEntry>& entries,
                                      const ProgrammerWanted& wanted) {
    for (const ProgrammerEntry& entry : entries) {
        if (wanted.position ? entry.position == *wanted.position : entry.serial == wanted.serial)
            return &entry;
    }
    return nullptr;
}

std::string describeWanted(const ProgrammerWanted& wanted) {
    return wanted.position ? "programmer " + std::to_string(*wanted.position) + " (in bus order)"
                           : "programmer " + serialNumberText(wanted.serial.value_or(0));
}

}  // namespace nyra
