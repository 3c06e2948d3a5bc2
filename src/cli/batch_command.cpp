// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/file_access.h"
#include "batch/batch_files.h"
#include "batch/batch_window.h"
#include "batch/serial_feed.h"
#include "buffer/file_descriptor.h"
#include "console_frontend.h"
#include "console_program.h"
#include "detect_command.h"
#include "job_command.h"
#include "json_text.h"
#include "ops/transfers.h"
#include "production_record.h"
#include "serials/serial_store.h"
#include "shell/app_state.h"
#include "status_echo.h"
#include "ui/ids.h"

namespace nyra::cli {

namespace {

constexpr const char* kModeNames[] = {"same", "list", "id", "combined"};
constexpr int kStepSwitches[] = {ids::kCmdBatchErase, ids::kCmdBatchProgram, ids::kCmdBatchVerify};
constexpr const char* kStepNames[] = {"erase", "program", "verify"};
// How often a waiting station renews its reservation in the store.
constexpr std::chrono::seconds kRenewEvery{60};

// Decimal, leading zeros and all (the window takes decimal), or 0x hex; an
// octal reading of "0100" would put the ID somewhere else.
bool parseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& out) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    if (first == last)
        return false;
    const auto [end, error] = std::from_chars(first, last, out, hex ? 16 : 10);
    return error == std::errc{} && end == last && out <= limit;
}

// "erase,program" as three switches.
bool parseSteps(const std::string& text, bool (&on)[3]) {
    on[0] = on[1] = on[2] = false;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string step = text.substr(at, comma - at);
        bool known = false;
        for (int i = 0; i < 3; ++i) {
            if (step == kStepNames[i])
                on[i] = known = true;
        }
        if (!known)
            return false;
        at = comma + 1;
    }
    return true;
}

const char* resultName(std::uint8_t code) {
    return code == batch_result::kPassed    ? "passed"
           : code == batch_result::kUnknown ? "unknown"
                                            : "failed";
}

// The connected programmer's serial number, or "" when it gives none.
std::string programmerSerial(AppState& state) {
    constexpr int kTimeoutMs = 100;
    std::string serial;
    state.worker().registerJob(job::kFirmwareVersion, [&]() -> std::uint8_t {
        JobContext& context = state.jobContext();
        if (!context.link().connect(false))
            return 0;
        const ProgrammerSerial read =
            readProgrammerSerial(context.channel, context.link(), kTimeoutMs);
        if (read.answer == ProgrammerSerial::Answer::Read)
            serial = serialNumberText(read.number);
        return 1;
    });
    state.startJob(job::kFirmwareVersion);
    state.worker().waitUntilIdle();
    return serial;
}

// A series of a serial-number store feeding mode id: opened (created on its
// first run), this station's leftovers made unknown.
struct StoreSeries {
    std::unique_ptr<SerialStore> store;
    std::unique_ptr<SerialFeed> feed;
    SeriesSettings settings;
};

std::optional<StoreSeries> openStoreSeries(const std::string& programFolder,
                                           const BatchRequest& request,
                                           const std::string& programmer, bool gang, Clock& clock,
                                           std::ostream& err) {
    const std::string url = request.serials.value_or("sqlite:" + programFolder + "/serials.db");
    std::string error;
    StoreSeries series;
    series.store = openSerialStore(url, error);
    if (!series.store) {
        err << error << ": the series does not start\n";
        return std::nullopt;
    }
    SeriesRequest wanted;
    if (request.startGiven)
        wanted.start = request.start;
    if (request.incrementGiven)
        wanted.increment = request.increment;
    if (request.idLengthGiven)
        wanted.idLength = request.idLength;
    if (request.bigEndian)
        wanted.bigEndian = true;
    if (request.address)
        wanted.fillAddress = *request.address;
    else if (const auto end = fillAddressAfter(request.file))
        wanted.fillAddress = *end;
    wanted.dataChecksum = documentChecksum(request.file);
    const auto settings = series.store->openSeries(*request.series, wanted);
    if (!settings) {
        err << series.store->error() << ": the series does not start\n";
        return std::nullopt;
    }
    series.settings = *settings;
    // Each programmer of a gang is a station of its own: its leftovers are its own.
    const std::string given = request.station && gang ? *request.station + "-" + programmer
                                                      : request.station.value_or("");
    const std::string station = stationName(given, programmer);
    series.feed = std::make_unique<SerialFeed>(*series.store, *request.series,
                                               Taker{station, programmer, ""}, clock);
    const auto left = series.feed->recover();
    if (!left) {
        err << series.feed->error() << ": the series does not start\n";
        return std::nullopt;
    }
    for (const std::uint64_t id : *left)
        err << "ID " << id << " was reserved by this station's last run, which ended mid-chip: it "
            << "is now unknown (kvq-cli serials release hands it back)\n";
    return series;
}

}  // namespace

bool parseBatchArguments(const std::vector<std::string>& words, BatchRequest& request,
                         std::string& error) {
    bool modeGiven = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool takesValue = word == "--mode" || word == "--file" || word == "--address" ||
                                word == "--start" || word == "--increment" ||
                                word == "--id-length" || word == "--count" || word == "--record" ||
                                word == "--steps" || word == "--series" || word == "--serials" ||
                                word == "--station" || word == "--programmers";
        if (takesValue && i + 1 >= words.size()) {
            error = word + " needs a value";
            return false;
        }
        const std::string value = takesValue ? words[++i] : std::string();
        std::uint64_t number = 0;
        if (word == "--mode") {
            modeGiven = false;
            for (int m = 0; m < 4; ++m) {
                if (value == kModeNames[m]) {
                    request.mode = m;
                    modeGiven = true;
                }
            }
            if (!modeGiven) {
                error = "--mode is same, list, id or combined";
                return false;
            }
        } else if (word == "--file") {
            request.file = value;
        } else if (word == "--address" || word == "--start" || word == "--increment") {
            const std::uint64_t low = word == "--increment" ? 1 : 0;
            if (!parseNumber(value, 0xFFFFFFFFu, number) || number < low) {
                error = word + " takes a number from " + std::to_string(low) +
                        " to 4294967295 (0x for hexadecimal)";
                return false;
            }
            const auto taken = static_cast<std::uint32_t>(number);
            if (word == "--address") {
                request.address = taken;
            } else if (word == "--start") {
                request.start = taken;
                request.startGiven = true;
            } else {
                request.increment = taken;
                request.incrementGiven = true;
            }
        } else if (word == "--id-length") {
            if (value != "1" && value != "2" && value != "4") {
                error = "--id-length is 1, 2 or 4";
                return false;
            }
            request.idLength = std::stoi(value);
            request.idLengthGiven = true;
        } else if (word == "--count") {
            if (!parseNumber(value, 0xFFFFFFFFu, number) || number == 0) {
                error = "--count takes a number of chips from 1";
                return false;
            }
            request.count = number;
        } else if (word == "--steps") {
            bool on[3];
            if (!parseSteps(value, on)) {
                error = "--steps lists erase, program and verify, separated by commas";
                return false;
            }
            request.steps = value;
        } else if (word == "--record") {
            request.record = value;
        } else if (word == "--programmers") {
            request.programmers = value;
        } else if (word == "--series" || word == "--serials" || word == "--station") {
            if (value.empty()) {
                error = word + " needs a value";
                return false;
            }
            (word == "--series"    ? request.series
             : word == "--serials" ? request.serials
                                   : request.station) = value;
        } else if (word == "--big-endian") {
            request.bigEndian = true;
        } else if (word == "--json") {
            request.json = true;
        } else if (word.starts_with("--")) {
            error = "unknown option " + word;
            return false;
        } else {
            request.documents.push_back(word);
        }
    }
    if (!modeGiven) {
        error = "--mode is needed: same, list, id or combined";
        return false;
    }
    const bool usesFile = request.mode != 1;
    const bool usesList = request.mode == 1 || request.mode == 3;
    if (usesFile != !request.file.empty()) {
        error = usesFile ? "--mode " + std::string(kModeNames[request.mode]) + " needs --file"
                         : "--mode list takes its files as operands, not --file";
        return false;
    }
    if (usesList == request.documents.empty()) {
        error = usesList ? "--mode " + std::string(kModeNames[request.mode]) +
                               " needs the documents as operands"
                         : "unexpected operand " + request.documents.front();
        return false;
    }
    if (request.series && request.mode != 2) {
        error = "--series gives IDs: it needs --mode id";
        return false;
    }
    if (request.programmers) {
        if (request.mode == 1 || request.mode == 3) {
            error =
                "--programmers runs mode same or id: each programmer would take the same "
                "documents";
            return false;
        }
        if (request.mode == 2 && !request.series) {
            error = "--programmers in mode id takes each chip's ID from one series: add --series";
            return false;
        }
    }
    if (!request.series && (request.serials || request.station)) {
        error = std::string(request.serials ? "--serials" : "--station") + " needs --series";
        return false;
    }
    const std::uint64_t largest = largestId(request.idLength);
    if (request.mode == 2 && request.start > largest) {
        error = "--start " + std::to_string(request.start) + " does not fit in " +
                std::to_string(request.idLength) + " byte(s): the largest is " +
                std::to_string(largest);
        return false;
    }
    return true;
}

int runBatch(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
             Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    return runBatchPart(programFolder, request, usb, clock, out, err, stop,
                        BatchPart{chosenBusPath(), {}, false});
}

int runBatchPart(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
                 Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
                 const BatchPart& part) {
    using namespace batch_ids;
    ConsoleFrontend console(err);
    // A question ends the chip's job rather than guess (a file longer than the chip).
    console.setAnswers(BoxAnswer::No, BoxAnswer::Cancel);
    ConsoleProgram program(programFolder, usb, clock, console, part.busPath);
    AppState& state = program.state();

    std::optional<ProductionRecord> record;
    if (request.record) {
        record.emplace();
        if (!record->open(*request.record, part.recordTag)) {
            err << *request.record << ": cannot be written: " << fileErrorText(record->error())
                << '\n';
            return kExitUsage;
        }
        if (record->recovered())
            err << *request.record << ": the last run ended while a chip was being written; "
                << "its line is recorded as unknown: " << *record->recovered() << '\n';
    }
    bool recordFailed = false;

    int status = 0;
    {
        // Each next chip is found by identifying it. The run's switches stay
        // in memory: the user's switches file never sees them.
        state.setSwitchForRun(ids::kCmdAutoIdentify, true);
        if (request.steps) {
            bool on[3];
            parseSteps(*request.steps, on);
            for (int i = 0; i < 3; ++i)
                state.setSwitchForRun(kStepSwitches[i], on[i]);
        }
        std::string steps;
        for (int i = 0; i < 3; ++i) {
            if (state.panel().menuChecked(kStepSwitches[i]))
                steps += (steps.empty() ? "" : "+") + std::string(kStepNames[i]);
        }

        BatchWindow& window = state.batchWindow();
        Panel& panel = window.panel();
        window.setMode(request.mode);
        panel.setText(kMainDocument, request.file);
        const std::optional<std::uint32_t> mainEnd = fillAddressAfter(request.file);
        panel.setText(kFillAddress, std::to_string(request.address.value_or(mainEnd.value_or(0))));
        // A document is never written over the main one: it goes behind it.
        if (request.mode == 3 && request.address && mainEnd && *request.address < *mainEnd) {
            err << "--address " << *request.address << " lies inside " << request.file << " ("
                << *mainEnd << " bytes): each document is appended at its end, address " << *mainEnd
                << "\n";
        }
        panel.setText(kStartId, std::to_string(request.start));
        panel.setText(kIncrement, std::to_string(request.increment));
        panel.setText(kCount, "0");
        panel.setCurrentIndex(kIdLength, request.idLength == 1 ? 0 : request.idLength == 2 ? 1 : 2);
        panel.setCurrentIndex(kFormat, request.bigEndian ? 1 : 0);
        panel.setChecked(kAutoStart, true);
        // Sorted by name on insertion, as in the window.
        window.addDocuments(request.documents);

        // The programmer that writes the series, for the record: lines of several
        // stations can be told apart.
        const std::string station = programmerSerial(state);
        std::optional<StoreSeries> fromStore;
        if (request.series) {
            fromStore = openStoreSeries(programFolder, request, station, part.gang, clock, err);
            if (!fromStore)
                return kExitSerialStore;
            const SeriesSettings& stored = fromStore->settings;
            panel.setText(kStartId, std::to_string(stored.start));
            panel.setText(kIncrement, std::to_string(stored.increment));
            panel.setText(kFillAddress, std::to_string(stored.fillAddress));
            panel.setCurrentIndex(kIdLength, stored.idLength == 1   ? 0
                                             : stored.idLength == 2 ? 1
                                                                    : 2);
            panel.setCurrentIndex(kFormat, stored.bigEndian ? 1 : 0);
            window.nextSerial = [feed = fromStore->feed.get()] { return feed->next(); };
        }
        SerialFeed* const feed = fromStore ? fromStore->feed.get() : nullptr;
        bool storeFailed = false;
        std::mutex outMutex;
        std::uint64_t chips = 0;
        std::uint64_t passed = 0;
        std::optional<BatchChipResult> failed;
        const bool withId = request.mode == 2;
        std::optional<BatchChipResult> unknown;
        // A chip whose file could not be loaded got no data of its own.
        const auto checksumOf = [&](const BatchChipResult& chip) {
            return chip.code == batch_result::kNoData ? std::string()
                                                      : state.dataBuffer().dataChecksumText();
        };
        const auto recordLine = [&](const BatchChipResult& chip) {
            RecordLine line;
            line.time = dateTimeText(clock.localTime());
            line.chip = state.selection().selectedDevice();
            line.number = chip.count;
            line.checksum = checksumOf(chip);
            line.steps = steps;
            line.result = resultName(chip.code);
            line.file = chip.file;
            line.station = station;
            return line;
        };
        // The chip's number is on the disk before the chip gets it.
        window.chipStarting = [&](const BatchChipResult& chip) {
            std::lock_guard lock(outMutex);
            if (record && !record->hold(recordLine(chip))) {
                recordFailed = true;
                return false;
            }
            if (feed)
                feed->writing(chip.count);
            return true;
        };
        window.chipDone = [&](const BatchChipResult& chip) {
            std::lock_guard lock(outMutex);
            ++chips;
            const std::string result = resultName(chip.code);
            const std::string device = state.selection().selectedDevice();
            const std::string statusText = state.panel().text(ids::kStatusLine);
            if (request.json) {
                out << "{\"chip\":" << chips << ",\"" << (withId ? "id" : "count")
                    << "\":" << chip.count << ",\"device\":" << jsonString(device)
                    << ",\"file\":" << jsonString(chip.file)
                    << ",\"data_checksum\":" << jsonString(checksumOf(chip))
                    << ",\"steps\":" << jsonString(steps) << ",\"result\":" << jsonString(result)
                    << ",\"station\":" << jsonString(station)
                    << ",\"status\":" << jsonString(statusText) << "}\n";
            } else {
                out << "chip " << chips << ": " << (withId ? "ID " : "count ") << chip.count << ' '
                    << result << " (" << device << ", " << statusText << ")\n";
            }
            out.flush();
            // No next chip without its record line.
            if (record && !record->append(recordLine(chip))) {
                recordFailed = true;
                return false;
            }
            if (feed && !feed->ended(chip.count, chip.code, device, checksumOf(chip))) {
                storeFailed = true;
                return false;
            }
            if (chip.code == batch_result::kUnknown) {
                unknown = chip;
                return false;
            }
            if (chip.code != batch_result::kPassed) {
                failed = chip;
                return false;
            }
            ++passed;
            return !request.count || passed < *request.count;
        };

        window.start();
        if (!window.running() && feed && !feed->error().empty()) {
            err << feed->error() << ": the series does not start\n";
            status = kExitSerialStore;
        } else if (!window.running()) {
            err << "the series could not start: check the files and numbers\n";
            // No programmer outweighs what the files say.
            status = failedJobStatus(state.link());
        } else {
            auto renewed = std::chrono::steady_clock::now();
            while (window.running()) {
                if (stop.load()) {
                    window.stop();
                    state.flags().stopRead.store(true);
                    state.flags().stopProgram.store(true);
                    state.flags().stopErase.store(true);
                    state.flags().stopVerify.store(true);
                    state.flags().stopBlankCheck.store(true);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                // A station waiting long for its next chip is not a station that died.
                if (feed && std::chrono::steady_clock::now() - renewed > kRenewEvery) {
                    feed->renew();
                    renewed = std::chrono::steady_clock::now();
                }
            }
            state.worker().waitUntilIdle();
            window.waitUntilQuiet();
            window.chipDone = nullptr;
            window.chipStarting = nullptr;
            std::lock_guard lock(outMutex);
            const std::string next = (withId ? "ID " : "count ") + panel.text(kCount);
            const bool closed = !feed || feed->close();
            if (feed && (storeFailed || !closed || !feed->error().empty())) {
                err << feed->error() << ": the series stopped before the next chip\n";
                status = kExitSerialStore;
            } else if (recordFailed) {
                err << *request.record << ": " << fileErrorText(record->error())
                    << ": the series stopped before the next chip\n";
                status = kExitJobFailed;
            } else if (stop.load()) {
                // Where a new series starts: past every number a chip may hold.
                err << "the series stopped at " << next << "\n";
                status = kExitStopped;
            } else if (unknown) {
                err << "the outcome of the chip with " << (withId ? "ID " : "count ")
                    << unknown->count << " is unknown; the series stopped at " << next << "\n";
                status = failedJobStatus(state.link());
            } else if (failed) {
                err << "the series stopped at " << (withId ? "ID " : "count ") << failed->count
                    << "\n";
                status = failedJobStatus(state.link());
            } else if (window.programmerLost()) {
                err << "the programmer was lost; the series stopped at " << next << "\n";
                status = kExitNoProgrammer;
            } else if (window.idsUsedUp()) {
                err << "the series stopped at ID " << panel.text(kCount) << ": it does not fit in "
                    << request.idLength << " byte(s)\n";
                status = kExitJobFailed;
            }
        }
    }
    return status;
}

}  // namespace nyra::cli
