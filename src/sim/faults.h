// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace nyra::sim {

// Lets `after` matching events pass, then fires `count` times (-1: forever).
struct FaultCounter {
    int count = 0;
    int after = 0;

    bool armed() const { return count != 0; }
    bool fire() {
        if (count == 0)
            return false;
        if (after > 0) {
            --after;
            return false;
        }
        if (count > 0)
            --count;
        return true;
    }
};

// "<count>[@after]", "always" or "off".
bool parseFaultCounter(std::string_view value, FaultCounter& out, std::string* error);
std::string faultCounterText(const FaultCounter& counter);

// Faults of one programmer. All are deterministic: counters, a byte budget,
// and a seeded generator for the flaky reads.
struct Faults {
    std::int64_t unplugAfterBytes = -1;           // bulk bytes still allowed; -1: off
    std::int64_t pullChipAfterBytes = -1;         // bulk bytes before the chip is pulled out
    std::map<std::uint8_t, FaultCounter> refuse;  // interrupt write fails, by command code
    FaultCounter shortReads;                      // a read returns half of what it could
    FaultCounter failedReads;                     // a read fails with -EIO
    FaultCounter stalls;                          // a read times out although data is ready
    FaultCounter openFails;                       // usb_open returns none
    FaultCounter configurationFails;              // usb_set_configuration fails
    FaultCounter claimFails;                      // usb_claim_interface fails
    bool blocked = false;                         // identity probes answer 000004
    // Boot loader and firmware upgrade.
    FaultCounter noReenumeration;   // after command 21 or a leave the device stays away
    FaultCounter noHandshake;       // operation 8 unanswered
    FaultCounter wrongStartEcho;    // operation 13 answered 0x00
    FaultCounter blockAckMissing;   // operation 2 erases but sends no acknowledgement
    FaultCounter streamWriteFails;  // a bulk OUT chunk of the upgrade fails with -EIO
    FaultCounter readBackDiffers;   // a read-back block comes with one byte changed
    FaultCounter shortReadBack;     // a read-back block comes with 512 bytes only
    FaultCounter wrongFinishByte;   // the finish refuses a sound image (0xEE)
    FaultCounter noFinishReply;     // the finish sends nothing and takes nothing
    // Security (OTP) area.
    FaultCounter otpRefuse;           // an OTP frame is NAKed until the time-out
    FaultCounter otpShortReply;       // an OTP reply comes with 44 bytes
    FaultCounter otpWriteFails;       // an OTP write is NAKed and writes nothing
    std::uint32_t flakyPerMille = 0;  // chance of a failed read, per mille
    std::uint32_t seed = 1;           // state of the flaky-read generator

    // The next flaky-read decision (xorshift32 on the seed).
    bool flakyRead();
};

// Sets one fault from its name and value text, as in the configuration file
// ("fault.<name>=<value>") and the control command ("fault <name> <value>"):
//   unplug_after <bytes>|off     pull_chip_after <bytes>|off
//   refuse <code>:<count>[@after]|<code>:off
//   short_reads|failed_reads|stall|open|set_configuration|claim  <count>[@after]|always|off
//   blocked 0|1    flaky_reads <per-mille>    seed <n>    clear <anything>
//   no_reenumeration|no_handshake|wrong_start_echo|block_ack_missing|
//   stream_write_fails|readback_differs|short_readback|wrong_finish_byte|
//   no_finish_reply|otp_refuse|otp_short_reply|otp_write_fails  <count>[@after]|always|off
bool setFault(Faults& faults, std::string_view name, std::string_view value, std::string* error);
std::string describeFaults(const Faults& faults);
const std::vector<std::string_view>& faultNames();

}  // namespace nyra::sim
