// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/clock.h"
#include "device/usb_api.h"

namespace nyra::cli {

// A series of chips as the batch window runs it, from the command line.
struct BatchRequest {
    int mode = 0;                          // 0 same, 1 list, 2 id, 3 combined
    std::string file;                      // the main document (modes same, id, combined)
    std::vector<std::string> documents;    // the list (modes list, combined), in order given
    std::optional<std::uint32_t> address;  // none: right behind the main document
    std::uint32_t start = 0;               // first ID
    std::uint32_t increment = 1;
    int idLength = 4;
    bool bigEndian = false;
    std::optional<std::uint64_t> count;  // chips to pass; none: until a failure or Ctrl-C
    std::optional<std::string> steps;    // "erase,program,verify"; none: the program's switches
    std::optional<std::string> record;   // CSV production record, appended
    bool json = false;
    // Mode id from a series in a serial-number store instead of --start.
    std::optional<std::string> series;
    std::optional<std::string> serials;      // the store's URL; none: sqlite:serials.db
    std::optional<std::string> station;      // none: host name and programmer serial
    std::optional<std::string> programmers;  // a gang: "all" or serials and positions
    // Which of the series' settings the line names (the others: as stored).
    bool startGiven = false, incrementGiven = false, idLengthGiven = false;
};

// The serial-number store could not be reached or refused the series.
inline constexpr int kExitSerialStore = 10;

// Reads the words after "batch". False with a reason on a usage error.
bool parseBatchArguments(const std::vector<std::string>& words, BatchRequest& request,
                         std::string& error);

// One programmer's part of a series.
struct BatchPart {
    std::string busPath;    // the programmer ("" the first found)
    std::string recordTag;  // "" alone; in a gang its name, so each holds its own chip's line
    bool gang = false;      // one of several at once: its store station names it
};

// Runs the series on the window's program state: one line (or JSON object)
// per chip on out, status texts and boxes on err. 0 when every chip passed,
// kExitJobFailed when a chip failed (its ID is named), kExitStopped on stop.
int runBatch(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
             Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop);
// The same on one programmer of a gang.
int runBatchPart(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
                 Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
                 const BatchPart& part);

}  // namespace nyra::cli
