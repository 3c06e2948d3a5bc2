// kvq-cli: the core's link and worker from a terminal.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "app/text_table.h"
#include "console_host.h"
#include "detect_command.h"
#include "device/command_channel.h"
#include "device/usb_library.h"
#include "device/worker.h"
#include "info_command.h"

namespace nyra::cli {
namespace {

constexpr int kQueryTimeoutMs = 100;

int usage() {
    std::fprintf(stderr,
                 "usage: kvq-cli demo     connect to the programmer and show what it answers\n"
                 "       kvq-cli detect   identify the chip in the socket and print it as\n"
                 "                        type : manufacturer : device : capacity\n"
                 "       kvq-cli info FILE [--chip DEVICE]\n"
                 "                        data length, size, data and chip checksum as the\n"
                 "                        window shows them (chip: the catalogue's device name)\n"
                 "detect exit status: %d chip found, %d USB library not loadable, %d usage,\n"
                 "  %d chip family only (no chip ID), %d ID not in the catalogue,\n"
                 "  %d no answer from the chip, %d programmer missing\n",
                 kExitChipFound, kExitNoUsbLibrary, kExitUsage, kExitFamilyOnly, kExitUnknownId,
                 kExitNoAnswer, kExitNoProgrammer);
    return kExitUsage;
}

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

// Reads a reply of exactly n bytes into the transfer buffer; false otherwise.
bool readExactly(Link& link, int n, int timeoutMs) {
    return link.readReply(link.transferBuffer().data() + kReplyOffset, n, timeoutMs) == n;
}

int detectCommand() {
    UsbLibrary usb = UsbLibrary::loadFor(executableDirectory());
    if (!usb.loaded()) {
        std::fprintf(stderr, "%s\n", usb.error().c_str());
        return kExitNoUsbLibrary;
    }
    return detect(currentDirectory(), usb.api(), systemClock(), std::cout, std::cerr);
}

int demo() {
    TextTable texts(
        [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); });
    texts.loadFrom(currentDirectory());

    UsbLibrary usb = UsbLibrary::loadFor(executableDirectory());
    if (!usb.loaded()) {
        std::fprintf(stderr, "%s\n", usb.error().c_str());
        return 1;
    }
    std::printf("USB library: %s\n", usb.path().c_str());

    ConsoleHost host(texts);
    Link link(usb.api(), host);
    CommandFrame block{};
    block[0] = kFrameStart;
    block[19] = kFrameEnd;
    CommandChannel channel(link, block);
    WorkerShared shared;
    Worker worker(shared, channel);
    const std::uint8_t* reply = link.transferBuffer().data() + kReplyOffset;

    worker.registerJob(job::kFirmwareVersion, [&]() -> std::uint8_t {
        if (link.ensureLink() == kLinkStop)
            return 0;
        if (!channel.sendCommand(cmd::kFirmwareVersion, kQueryTimeoutMs) ||
            !readExactly(link, 1, kQueryTimeoutMs)) {
            std::printf("firmware version: no answer\n");
            return 0;
        }
        std::printf("firmware version: V%d.%d\n", (reply[0] >> 4) + 1, reply[0] & 0x0F);
        if (channel.sendCommand(cmd::kSerialNumber, kQueryTimeoutMs) &&
            readExactly(link, 7, kQueryTimeoutMs)) {
            std::printf("serial number: %u\n",
                        (unsigned{reply[4]} << 16) | (unsigned{reply[5]} << 8) | reply[6]);
        }
        // First probe of identification: JEDEC ID of an SPI flash chip.
        if (channel.sendCommand(cmd::kReadIdentity, 5000) && readExactly(link, 3, 5000)) {
            std::printf("chip identity: %02X%02X%02X\n", reply[0], reply[1], reply[2]);
        }
        return 1;
    });

    shared.jobCode = job::kFirmwareVersion;
    worker.start();
    worker.waitUntilIdle();
    worker.requestQuit();
    worker.join();
    std::printf("programmer %s\n", link.connected() ? "connected" : "not connected");
    link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
    return 0;
}

}  // namespace
}  // namespace nyra::cli

int main(int argc, char** argv) {
    if (argc < 2)
        return nyra::cli::usage();
    if (std::strcmp(argv[1], "demo") == 0)
        return nyra::cli::demo();
    if (std::strcmp(argv[1], "detect") == 0 && argc == 2)
        return nyra::cli::detectCommand();
    if (std::strcmp(argv[1], "info") == 0 &&
        (argc == 3 || (argc == 5 && std::strcmp(argv[3], "--chip") == 0))) {
        const auto chip = argc == 5 ? std::optional<std::string>(argv[4]) : std::nullopt;
        return nyra::cli::info(nyra::cli::currentDirectory(), argv[2], chip, std::cout, std::cerr);
    }
    return nyra::cli::usage();
}
