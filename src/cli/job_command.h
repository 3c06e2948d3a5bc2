// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "app/clock.h"
#include "device/usb_api.h"

namespace nyra {
class Link;
}

namespace nyra::cli {

// Exit status of the chip jobs (0 success; 1, 2 and 6 as for detect).
inline constexpr int kExitJobFailed = 7;       // the job reported a failure
inline constexpr int kExitVerifyMismatch = 8;  // verify (or auto) found differing bytes
inline constexpr int kExitNotIdentified = 9;   // no chip could be named: use --chip
inline constexpr int kExitStopped = 130;       // Ctrl-C: the job was stopped

// The status of a job that failed: the programmer missing (6) when it is no
// longer on the bus or its link is closed, else the job's own failure (7).
int failedJobStatus(Link& link);

struct JobRequest {
    std::string command;              // read, program, erase, blank, verify or auto
    std::string file;                 // the image to write or compare, or where a read goes
    std::optional<std::string> chip;  // a catalogue device name; turns auto-identify off
    bool yes = false;                 // go on past a file longer than the chip; count mismatches
    bool json = false;                // one result object on out instead of progress
    bool terminal = false;            // out is a terminal: a redrawn progress bar
};

// The one JSON object a job command prints with --json, on every exit:
// usage errors, missing files, no programmer and unidentified chips included.
struct JobReport {
    std::string job;
    std::string chip;         // the selected device, "" before one was selected
    std::uint64_t bytes = 0;  // what actually reached the chip or came from it
    double elapsed = 0;       // seconds the job ran
    std::string dataChecksum;
    std::string chipChecksum;
    std::optional<std::uint32_t> mismatches;  // verify and auto
    std::string status;                       // the final status line, or why the run ended
    int exit = 0;
};
void printJobReport(std::ostream& out, const JobReport& report);

bool isJobCommand(const std::string& command);
bool jobNeedsFile(const std::string& command);

// Runs one chip job as its button would, on the window's program state with
// the program folder's texts, catalogue and switches. Status texts and boxes
// go to err; progress (or the JSON result) to out. A stop request raised in
// stop (Ctrl-C) stops the job through its own stop flag.
int runJob(const std::string& programFolder, const JobRequest& request, const UsbApi& usb,
           Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop);

}  // namespace nyra::cli
