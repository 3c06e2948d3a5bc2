// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-sim: controls the demo device of a running program from a terminal.

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/config.h"
#include "sim/control.h"
#include "sim/control_server.h"
#include "sim/firmware_maker.h"

namespace {

constexpr const char* kUsage =
    "usage: kvq-sim [--socket PATH] COMMAND [ARGS]\n"
    "commands:\n"
    "  status                      programmers, chips, faults\n"
    "  list-chips                  the built-in chip models\n"
    "  plug [n] | unplug [n]       attach or detach programmer n (1 or 2, default 1)\n"
    "  insert <chip> [n]           put a chip into an empty socket\n"
    "  swap <chip> [n]             replace the chip in the socket\n"
    "  remove [n]                  empty the socket\n"
    "  fault <name> <value> [n]    set a fault (fault clear 1 clears all)\n"
    "  timing <factor>             scale device times (0 = instant)\n"
    "  feeder <name> <value> [n]   the production-line feeder: on on|off, out <time>,\n"
    "                              in <time>, bad <count>[@after], empty <count>[@after]\n"
    "  taken [n]                   the chips the feeder took out\n"
    "  peek <k> <address> [length] [n]\n"
    "                              bytes of taken chip k (hex address, at most 256)\n"
    "  make-firmware --version X.Y [--size BYTES] [--bad-checksum] OUT.nyr\n"
    "                              write a firmware file for the upgrade\n"
    "The socket is the control= path of the simulator's configuration\n"
    "(NYRA_SIM_CONFIG, else ./kvq-sim.conf), else the default path.\n";

bool knownCommand(std::string_view cmd) {
    for (const char* name : {"status", "plug", "unplug", "insert", "swap", "remove", "fault",
                             "timing", "feeder", "taken", "peek", "help"}) {
        if (cmd == name)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string socketPath;
    if (args.size() >= 2 && args[0] == "--socket") {
        socketPath = std::string(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "list-chips") {
        std::fputs(nyra::sim::listChipsText().c_str(), stdout);
        return 0;
    }
    if (args[0] == "make-firmware") {
        std::string error;
        const auto request = nyra::sim::parseMakeFirmwareArguments(
            std::span<const std::string_view>(args).subspan(1), &error);
        if (!request) {
            std::fprintf(stderr, "kvq-sim: make-firmware: %s\n%s", error.c_str(), kUsage);
            return 2;
        }
        const auto file = nyra::sim::makeFirmwareFile(*request);
        if (!nyra::sim::writeFirmwareFile(request->output, file, &error)) {
            std::fprintf(stderr, "kvq-sim: make-firmware: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes, version byte 0x%02X%s\n", request->output.c_str(), file.size(),
                    unsigned{request->version}, request->badChecksum ? ", checksum wrong" : "");
        return 0;
    }
    if (!knownCommand(args[0])) {
        std::fprintf(stderr, "kvq-sim: unknown command '%.40s'\n%s", std::string(args[0]).c_str(),
                     kUsage);
        return 2;
    }
    std::string line;
    for (const auto arg : args) {
        if (arg.empty() || arg.find_first_of(" \t\r\n") != std::string_view::npos) {
            std::fprintf(stderr, "kvq-sim: arguments may not be empty or hold spaces\n");
            return 2;
        }
        if (!line.empty())
            line += ' ';
        line += arg;
    }
    if (line.size() > nyra::sim::kMaxControlLine) {
        std::fprintf(stderr, "kvq-sim: command too long\n");
        return 2;
    }
    if (socketPath.empty()) {
        const nyra::sim::SimConfig config = nyra::sim::loadConfig();
        socketPath = nyra::sim::controlPathOf(config);
        if (socketPath.empty()) {
            std::fprintf(stderr,
                         "kvq-sim: the simulator's control socket is off (control=off in %s)\n",
                         config.source.c_str());
            return 2;
        }
    }
    std::string reply;
    std::string error;
    if (!nyra::sim::sendControlRequest(socketPath, line, reply, &error)) {
        std::fprintf(stderr, "kvq-sim: %s\n", error.c_str());
        return 2;
    }
    if (reply.rfind("ok\n", 0) == 0) {
        std::fputs(reply.c_str() + 3, stdout);
        return 0;
    }
    std::fputs(reply.empty() ? "error: empty reply\n" : reply.c_str(), stderr);
    return 1;
}
