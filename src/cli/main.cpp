// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-cli: the core's link and worker from a terminal.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/text_table.h"
#include "batch_command.h"
#include "catalogue/chip_catalogue.h"
#include "console_host.h"
#include "detect_command.h"
#include "device/command_channel.h"
#include "device/usb_library.h"
#include "device/worker.h"
#include "firmware_command.h"
#include "gang_command.h"
#include "info_command.h"
#include "job_command.h"
#include "json_text.h"
#include "merge_split_command.h"
#include "ops/transfers.h"
#include "otp_command.h"
#include "programmer_choice.h"
#include "serials_command.h"

namespace nyra::cli {
namespace {

constexpr int kQueryTimeoutMs = 100;

// The overview: on stdout when asked for with --help, else on stderr.
int usage(std::FILE* to = stderr) {
    std::fprintf(
        to,
        "usage: kvq-cli chips [PATTERN] | detect | demo | info FILE\n"
        "       kvq-cli read FILE | program FILE | erase | blank | verify FILE | auto FILE\n"
        "       kvq-cli firmware | upgrade FILE.nyr\n"
        "       kvq-cli merge OUT [IN...] | split FILE POINTS\n"
        "       kvq-cli batch --mode same|list|id|combined ... (kvq-cli batch --help)\n"
        "       kvq-cli otp detect | read FILE | program FILE [--lock --yes-lock-forever]\n"
        "                 | verify FILE | blank\n"
        "       kvq-cli serials list | status | release ID --series NAME [--serials URL]\n"
        "       kvq-cli programmers [--json]\n"
        "       options: --chip NAME  --yes  --json  --programmer SERIAL|N\n"
        "                --usb-library PATH  --help\n"
        "       kvq-cli --version\n"
        "exit status: %d success, %d USB library not loadable, %d usage,\n"
        "  %d chip family only, %d ID not in the catalogue, %d no answer from the chip,\n"
        "  %d programmer missing, %d job failed, %d verify mismatch,\n"
        "  %d chip not identified (use --chip), %d stopped by Ctrl-C;\n"
        "  merge and split: %d a file failed, %d no output name or bad split points;\n"
        "  batch --series and serials: %d the serial-number store failed;\n"
        "  batch --programmers: %d its programmers ended differently\n",
        kExitChipFound, kExitNoUsbLibrary, kExitUsage, kExitFamilyOnly, kExitUnknownId,
        kExitNoAnswer, kExitNoProgrammer, kExitJobFailed, kExitVerifyMismatch, kExitNotIdentified,
        kExitStopped, kExitFileToolFailed, kExitFileToolBadInput, kExitSerialStore, kExitGangMixed);
    return kExitUsage;
}

// Where the catalogue, the texts, the log and the working files are: the
// current directory, or the folder NYRA_PROGRAM_FOLDER names (the installed
// launcher's per-user folder), so that file names given stay the user's own.
std::string programFolder() {
    if (const char* folder = std::getenv("NYRA_PROGRAM_FOLDER"); folder && *folder)
        return folder;
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

// Reads a reply of exactly n bytes into the transfer buffer; false otherwise.
bool readExactly(Link& link, int n, int timeoutMs) {
    return link.readReply(link.transferBuffer().data() + kReplyOffset, n, timeoutMs) == n;
}

// What the programmer answers: firmware version, serial number, chip ID.
struct DemoAnswers {
    std::optional<std::string> firmware;
    std::optional<unsigned> serial;
    std::optional<std::string> chipIdentity;
    bool connected = false;
};

DemoAnswers askProgrammer(const UsbApi& usb) {
    TextTable texts(
        [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); });
    texts.loadFrom(programFolder());
    ConsoleHost host(texts);
    Link link(usb, host);
    link.pin(chosenBusPath());
    CommandFrame block{};
    block[0] = kFrameStart;
    block[19] = kFrameEnd;
    CommandChannel channel(link, block);
    WorkerShared shared;
    Worker worker(shared, channel);
    const std::uint8_t* reply = link.transferBuffer().data() + kReplyOffset;
    DemoAnswers answers;

    worker.registerJob(job::kFirmwareVersion, [&]() -> std::uint8_t {
        if (link.ensureLink() == kLinkStop)
            return 0;
        if (!channel.sendCommand(cmd::kFirmwareVersion, kQueryTimeoutMs) ||
            !readExactly(link, 1, kQueryTimeoutMs))
            return 0;
        answers.firmware =
            "V" + std::to_string((reply[0] >> 4) + 1) + "." + std::to_string(reply[0] & 0x0F);
        const ProgrammerSerial serial = readProgrammerSerial(channel, link, kQueryTimeoutMs);
        if (serial.answer == ProgrammerSerial::Answer::Read)
            answers.serial = serial.number;
        // First probe of identification: JEDEC ID of an SPI flash chip.
        if (channel.sendCommand(cmd::kReadIdentity, 5000) && readExactly(link, 3, 5000)) {
            char id[8];
            std::snprintf(id, sizeof id, "%02X%02X%02X", reply[0], reply[1], reply[2]);
            answers.chipIdentity = id;
        }
        return 1;
    });

    shared.jobCode = job::kFirmwareVersion;
    worker.start();
    worker.waitUntilIdle();
    worker.requestQuit();
    worker.join();
    answers.connected = link.connected();
    link.releaseAndClose(link.handle(), link.identity().interfaceNumber);
    return answers;
}

// Exit 0 when the programmer answered, 6 when none did.
int demo(const UsbLibrary& usb, bool json) {
    const DemoAnswers answers = askProgrammer(usb.api());
    const int status = answers.firmware ? 0 : kExitNoProgrammer;
    if (json) {
        const auto text = [](const std::optional<std::string>& value) {
            return value ? jsonString(*value) : std::string("null");
        };
        std::printf(
            "{\"usb_library\":%s,\"connected\":%s,\"firmware\":%s,\"serial\":%s,"
            "\"chip_identity\":%s,\"exit\":%d}\n",
            jsonString(usb.path()).c_str(), answers.connected ? "true" : "false",
            text(answers.firmware).c_str(),
            answers.serial ? std::to_string(*answers.serial).c_str() : "null",
            text(answers.chipIdentity).c_str(), status);
        return status;
    }
    std::printf("USB library: %s\n", usb.path().c_str());
    std::printf("firmware version: %s\n",
                answers.firmware ? answers.firmware->c_str() : "no answer");
    if (answers.serial)
        std::printf("serial number: %u\n", *answers.serial);
    if (answers.chipIdentity)
        std::printf("chip identity: %s\n", answers.chipIdentity->c_str());
    std::printf("programmer %s\n", answers.connected ? "connected" : "not connected");
    return status;
}

}  // namespace
}  // namespace nyra::cli

namespace nyra::cli {
namespace {

std::atomic<bool> interrupted{false};

// Ctrl-C, SIGTERM and SIGHUP stop the job as its stop button would, and the
// close still runs. A second one ends the process at once: the files it
// writes are whole or untouched either way.
void onStopSignal(int) {
    if (interrupted.exchange(true))
        ::_exit(kExitStopped);
}

void handleStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

// The options a command may take.
enum : unsigned {
    kTakesChip = 1,
    kTakesYes = 2,
    kTakesJson = 4,
    kTakesUsb = 8,
    kTakesProgrammer = 16
};

struct Options {
    std::vector<std::string> words;  // the command and its operands
    std::optional<std::string> chip;
    std::optional<std::string> usbLibrary;
    std::optional<std::string> programmer;
    bool yes = false;
    bool json = false;
    bool help = false;
    unsigned given = 0;   // the kTakes bits of the options on the line
    std::string unknown;  // the first word that is no option, or lacks its value
};

// False on an option the commands do not know or one without its value.
bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--chip" || word == "--usb-library" || word == "--programmer") {
            if (i + 1 >= argc) {
                options.unknown = word + " without its value";
                return false;
            }
            (word == "--chip"          ? options.chip
             : word == "--usb-library" ? options.usbLibrary
                                       : options.programmer) = argv[++i];
            options.given |= word == "--chip"          ? kTakesChip
                             : word == "--usb-library" ? kTakesUsb
                                                       : kTakesProgrammer;
        } else if (word == "--yes") {
            options.yes = true;
            options.given |= kTakesYes;
        } else if (word == "--json") {
            options.json = true;
            options.given |= kTakesJson;
        } else if (word == "--help" || word == "-h") {
            options.help = true;
        } else if (word.starts_with("--")) {
            // The rest is still read, so that --json is known for the report.
            if (options.unknown.empty())
                options.unknown = word;
        } else {
            options.words.push_back(word);
        }
    }
    return options.unknown.empty();
}

struct CommandHelp {
    const char* command;
    const char* synopsis;
    const char* text;
    unsigned options;  // kTakes bits: anything else on its line is a usage error
};

// Every command that talks to a programmer can name it.
constexpr unsigned kDevice = kTakesUsb | kTakesProgrammer;
constexpr unsigned kChipJob = kTakesChip | kTakesJson | kDevice;

constexpr CommandHelp kHelp[] = {
    {"chips", "chips [PATTERN]", "list the catalogue's chips whose name contains PATTERN", 0},
    {"detect", "detect [--programmer P] [--usb-library PATH]", "identify the chip in the socket",
     kDevice},
    {"read", "read FILE [--chip NAME] [--json]", "read the whole chip into FILE", kChipJob},
    {"program", "program FILE [--chip NAME] [--yes] [--json]", "write FILE into the chip",
     kChipJob | kTakesYes},
    {"erase", "erase [--chip NAME] [--json]", "erase the whole chip", kChipJob},
    {"blank", "blank [--chip NAME] [--json]", "check that every byte of the chip is erased",
     kChipJob},
    {"verify", "verify FILE [--chip NAME] [--yes] [--json]",
     "compare the chip with FILE (0xFF past its end)", kChipJob | kTakesYes},
    {"auto", "auto FILE [--chip NAME] [--yes] [--json]", "erase, program and verify",
     kChipJob | kTakesYes},
    {"info", "info FILE [--chip NAME]", "data length, size and checksums as the window shows",
     kTakesChip},
    {"demo", "demo [--json] [--programmer P] [--usb-library PATH]",
     "connect to the programmer and show what it answers", kTakesJson | kDevice},
    {"firmware", "firmware [--programmer P] [--usb-library PATH]",
     "the programmer's serial number and firmware version", kDevice},
    {"upgrade", "upgrade FILE.nyr [--programmer P] [--usb-library PATH]",
     "write a firmware file into the programmer through its boot loader", kDevice},
    {"programmers", "programmers [--json] [--usb-library PATH]",
     "the programmers on the bus: position, bus place, serial number, firmware or boot loader",
     kTakesJson | kTakesUsb},
    {"merge", "merge OUT [IN...]",
     "join the IN files end to end into OUT (\".bin\" added to a name without \".\")", 0},
    {"split", "split FILE POINTS",
     "cut FILE at the byte offsets POINTS (\"1024,2048\") into FILE_0-1023 and so on", 0},
};

const CommandHelp* commandHelp(const std::string& command) {
    for (const CommandHelp& entry : kHelp) {
        if (command == entry.command)
            return &entry;
    }
    return nullptr;
}

int help(const CommandHelp& entry) {
    std::printf("usage: kvq-cli %s\n  %s\n", entry.synopsis, entry.text);
    if (entry.options & kTakesChip)
        std::printf(
            "  --chip NAME         the catalogue's device name; auto-identify is off "
            "for this run\n");
    if (entry.options & kTakesYes)
        std::printf(
            "  --yes               go on with a file longer than the chip, and "
            "count all mismatches\n");
    if (entry.options & kTakesJson)
        std::printf("  --json              print one result object\n");
    if (entry.options & kTakesProgrammer)
        std::printf(
            "  --programmer P      the programmer with serial number P, or the P-th on the bus\n"
            "                      (1 to 99); default: the first\n");
    if (entry.options & kTakesUsb)
        std::printf("  --usb-library PATH  the USB library to load\n");
    return 0;
}

// The options on the line that the command does not take, as their names.
std::string foreignOptions(unsigned given, unsigned taken) {
    std::string names;
    const std::pair<unsigned, const char*> all[] = {{kTakesChip, "--chip"},
                                                    {kTakesYes, "--yes"},
                                                    {kTakesJson, "--json"},
                                                    {kTakesUsb, "--usb-library"},
                                                    {kTakesProgrammer, "--programmer"}};
    for (const auto& [bit, name] : all) {
        if ((given & bit) && !(taken & bit))
            names += (names.empty() ? "" : " ") + std::string(name);
    }
    return names;
}

int chips(const std::string& pattern) {
    ChipCatalogue catalogue;
    catalogue.setMessageSink([](const std::string& message, const std::string&, MessageIcon) {
        std::fprintf(stderr, "%s\n", message.c_str());
    });
    catalogue.load(programFolder() + "/database.dat");
    if (catalogue.count() == 0)
        return kExitJobFailed;
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord* record = catalogue.record(i);
        if (record->device.find(pattern) != std::string::npos)
            std::printf("%s\n", chipLine(*record).c_str());
    }
    return 0;
}

UsbLibrary loadUsb(const Options& options) {
    return options.usbLibrary ? UsbLibrary::loadFile(*options.usbLibrary)
                              : UsbLibrary::loadFor(executableDirectory());
}

int jobCommand(const Options& options, const UsbLibrary& usb) {
    JobRequest request;
    request.command = options.words[0];
    if (options.words.size() == 2)
        request.file = options.words[1];
    request.chip = options.chip;
    request.yes = options.yes;
    request.json = options.json;
    request.terminal = ::isatty(STDOUT_FILENO) == 1;
    return runJob(programFolder(), request, usb.api(), systemClock(), std::cout, std::cerr,
                  interrupted);
}

constexpr const char* kBatchHelp =
    "usage: kvq-cli batch --mode MODE [options] [DOCUMENT...]\n"
    "  program a series of chips, waiting for each next chip in the socket\n"
    "  --mode same      every chip gets --file\n"
    "  --mode list      each chip gets the next DOCUMENT\n"
    "  --mode id        every chip gets --file with its own ID at --address\n"
    "  --mode combined  each chip gets --file, 0xFF up to --address, then the next DOCUMENT\n"
    "  --file FILE          the main document\n"
    "  --address N          the fill address (0x for hexadecimal)\n"
    "  --start N            the first ID (mode id)\n"
    "  --increment N        added to the ID for each chip, from 1 (default 1)\n"
    "  --id-length 1|2|4    bytes of the ID, its low bytes (default 4)\n"
    "  --big-endian         the ID's high byte first (default: low byte first)\n"
    "  --count N            stop after N chips passed (default: until a chip fails or Ctrl-C)\n"
    "  --steps LIST         erase,program,verify or part of it (default: the batch switches)\n"
    "  --record FILE        append a CSV line per chip: time,chip,id,data_checksum,steps,result\n"
    "  --series NAME        mode id: each chip's ID from the series NAME in a serial-number\n"
    "                       store, created by its first run (the other runs continue it)\n"
    "  --serials URL        the store: sqlite:PATH (default sqlite:serials.db in the program\n"
    "                       folder) or postgresql://user@host:port/db\n"
    "  --station NAME       this station's name in the store (default: host and programmer)\n"
    "  --programmer P       the programmer: serial number P, or the P-th on the bus\n"
    "  --programmers LIST   all, or serial numbers and positions (\"100001,100002\"): the\n"
    "                       series on each at once (modes same and id; id needs --series);\n"
    "                       --count then counts per programmer\n"
    "  --json               one JSON object per chip\n"
    "  --usb-library PATH   the USB library to load\n"
    "exit status: 0 every chip passed, 7 a chip failed (its ID is named), 2 usage,\n"
    "  6 programmer missing, 10 the serial-number store failed, 11 the programmers of\n"
    "  --programmers ended differently (each one's status on stderr), 130 stopped by Ctrl-C\n";

// A command with options of its own: it parses its words and runs on the
// loaded USB library; --help and --usb-library are taken here.
// --programmer is taken here too: the programmer is chosen and locked before
// the command runs, unless the request drives several (isGang).
template <typename Request>
int ownOptionsCommand(int argc, char** argv, const char* name, const char* help,
                      bool (*parseWords)(const std::vector<std::string>&, Request&, std::string&),
                      const std::function<int(const Request&, const UsbApi&)>& runIt,
                      bool (*isGang)(const Request&) = nullptr) {
    std::vector<std::string> words;
    std::optional<std::string> usbLibrary;
    std::optional<std::string> programmer;
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::printf("%s", help);
            return 0;
        }
        if ((word == "--usb-library" || word == "--programmer") && i + 1 < argc) {
            (word == "--usb-library" ? usbLibrary : programmer) = argv[++i];
            continue;
        }
        words.push_back(word);
    }
    Request request;
    std::string error;
    bool parsed = parseWords(words, request, error);
    const bool gang = parsed && isGang && isGang(request);
    if (gang && programmer) {
        error = "--programmer names one programmer, --programmers several: not both";
        parsed = false;
    }
    if (!parsed) {
        std::fprintf(stderr, "kvq-cli %s: %s\n%s", name, error.c_str(), help);
        return kExitUsage;
    }
    UsbLibrary usb =
        usbLibrary ? UsbLibrary::loadFile(*usbLibrary) : UsbLibrary::loadFor(executableDirectory());
    if (!usb.loaded()) {
        std::fprintf(stderr, "%s\n", usb.error().c_str());
        return kExitNoUsbLibrary;
    }
    if (!gang) {
        std::optional<ChosenProgrammer> chosen;
        if (const int status = chooseProgrammer(usb.api(), programmer, chosen, std::cerr))
            return status;
        chosenBusPath() = chosen ? chosen->entry.busPath : std::string();
        return runIt(request, usb.api());
    }
    return runIt(request, usb.api());
}

int batch(int argc, char** argv) {
    return ownOptionsCommand<BatchRequest>(
        argc, argv, "batch", kBatchHelp, parseBatchArguments,
        [](const BatchRequest& request, const UsbApi& usb) {
            return request.programmers ? runGang(programFolder(), request, usb, systemClock(),
                                                 std::cout, std::cerr, interrupted)
                                       : runBatch(programFolder(), request, usb, systemClock(),
                                                  std::cout, std::cerr, interrupted);
        },
        [](const BatchRequest& request) { return request.programmers.has_value(); });
}

constexpr const char* kOtpHelp =
    "usage: kvq-cli otp detect | read FILE | program FILE [--lock --yes-lock-forever]\n"
    "                 | verify FILE | blank\n"
    "  the chip's OTP area, as the OTP window does; each action detects it first\n"
    "  detect            whether the chip has an OTP area, its size and lock state\n"
    "  read FILE         the whole area into FILE\n"
    "  program FILE      FILE into the area (cut to its size); a used area is left alone\n"
    "  --lock            lock the area after programming: for ever, no more writes;\n"
    "                    needs --yes-lock-forever as well\n"
    "  verify FILE       compare the area with FILE\n"
    "  blank             check that every byte of the area is 0xFF\n"
    "  --programmer P    the programmer: serial number P, or the P-th on the bus\n"
    "  --usb-library PATH  the USB library to load\n"
    "exit status: 0 done, 2 usage, 6 programmer missing, 7 the action failed\n";

int otp(int argc, char** argv) {
    return ownOptionsCommand<OtpRequest>(argc, argv, "otp", kOtpHelp, parseOtpArguments,
                                         [](const OtpRequest& request, const UsbApi& usb) {
                                             return runOtp(programFolder(), request, usb,
                                                           systemClock(), std::cout, std::cerr);
                                         });
}

int serials(int argc, char** argv) {
    std::vector<std::string> words(argv + 2, argv + argc);
    for (const std::string& word : words) {
        if (word == "--help" || word == "-h")
            return std::printf("%s", kSerialsHelp), 0;
    }
    return runSerials(programFolder(), words, std::cout, std::cerr);
}

// A job command with --json that ends before its job still prints its one object.
int endedBeforeTheJob(const Options& options, int status, const std::string& why) {
    if (options.json && !options.words.empty() && isJobCommand(options.words[0])) {
        JobReport report;
        report.job = options.words[0];
        report.status = why;
        report.exit = status;
        printJobReport(std::cout, report);
    }
    return status;
}

// A usage error: the reason and the overview on stderr.
int usageError(const Options& options, const std::string& reason) {
    if (!reason.empty())
        std::fprintf(stderr, "kvq-cli: %s\n", reason.c_str());
    usage();
    return endedBeforeTheJob(options, kExitUsage, reason);
}

// The operand counts each command takes.
bool operandsFit(const std::string& command, std::size_t operands) {
    if (command == "chips")
        return operands <= 1;
    if (command == "merge")
        return operands >= 1;
    if (command == "split")
        return operands == 2;
    if (command == "info" || command == "upgrade")
        return operands == 1;
    if (isJobCommand(command))
        return operands == (jobNeedsFile(command) ? 1u : 0u);
    return operands == 0;
}

int run(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kvq-cli %s\n", NYRA_VERSION);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "batch") == 0)
        return batch(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "otp") == 0)
        return otp(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "serials") == 0)
        return serials(argc, argv);
    Options options;
    const bool parsed = parse(argc, argv, options);
    if (options.words.empty()) {
        if (options.help && parsed)
            return usage(stdout), 0;
        return usageError(options, parsed ? "" : "unknown option " + options.unknown);
    }
    const std::string& command = options.words[0];
    const CommandHelp* entry = commandHelp(command);
    if (!entry)
        return usageError(options, "unknown command " + command);
    if (options.help)
        return help(*entry);
    if (!parsed)
        return usageError(options, "unknown option " + options.unknown);
    if (const std::string foreign = foreignOptions(options.given, entry->options); !foreign.empty())
        return usageError(options, command + " takes no " + foreign);
    if (!operandsFit(command, options.words.size() - 1))
        return usageError(options, "wrong number of operands for " + command);

    if (command == "chips")
        return chips(options.words.size() == 2 ? options.words[1] : std::string());
    if (command == "info")
        return info(programFolder(), options.words[1], options.chip, std::cout, std::cerr);
    if (command == "merge") {
        const std::vector<std::string> inputs(options.words.begin() + 2, options.words.end());
        return mergeCommand(programFolder(), options.words[1], inputs, std::cout, std::cerr);
    }
    if (command == "split")
        return splitCommand(programFolder(), options.words[1], options.words[2], std::cout,
                            std::cerr);

    UsbLibrary usb = loadUsb(options);
    if (!usb.loaded()) {
        std::fprintf(stderr, "%s\n", usb.error().c_str());
        return endedBeforeTheJob(options, kExitNoUsbLibrary, usb.error());
    }
    if (command == "programmers")
        return listCommand(usb.api(), options.json, std::cout);
    // One process drives a programmer: it is chosen and locked first.
    std::optional<ChosenProgrammer> chosen;
    if (const int status = chooseProgrammer(usb.api(), options.programmer, chosen, std::cerr))
        return endedBeforeTheJob(options, status, "the programmer cannot be used");
    chosenBusPath() = chosen ? chosen->entry.busPath : std::string();
    if (command == "demo")
        return demo(usb, options.json);
    if (command == "detect")
        return detect(programFolder(), usb.api(), systemClock(), std::cout, std::cerr);
    if (command == "firmware")
        return firmwareInfo(programFolder(), usb.api(), systemClock(), std::cout, std::cerr);
    if (command == "upgrade")
        return upgrade(programFolder(), options.words[1], usb.api(), systemClock(),
                       ::isatty(STDOUT_FILENO) == 1, std::cout, std::cerr);
    return jobCommand(options, usb);
}

}  // namespace
}  // namespace nyra::cli

int main(int argc, char** argv) {
    nyra::cli::handleStopSignals();
    return nyra::cli::run(argc, argv);
}
