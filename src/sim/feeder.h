// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/chip_model.h"
#include "sim/faults.h"

namespace nyra::sim {

// Settings of the production-line feeder of one socket. Times are device
// time; the timing factor does not scale them (they are the line's
// mechanics, not the chip's).
struct FeederSettings {
    bool on = false;
    std::int64_t outMs = 500;  // from the pass to the chip leaving the socket
    std::int64_t inMs = 500;   // from then to the next chip going in
    FaultCounter bad;          // next chips with a stuck bit that fail verify
    FaultCounter empty;        // instead of the next chip, nothing: the line ran dry
    // Each chip taken out is also written there as taken-N.bin, N going on
    // from the files already there: the chips of several runs add up.
    std::string keepFolder;
};

// Sets one feeder setting, as in the configuration file ("feeder=on",
// "feeder.<name>=<value>") and the control command ("feeder <name> <value>"):
//   on on|off   out <time>   in <time>   bad <count>[@after]|off   empty <count>[@after]|off
//   keep <folder>|off
// Times take a unit (ms or s, at most an hour).
bool setFeederSetting(FeederSettings& settings, std::string_view name, std::string_view value,
                      std::string* error);
std::string describeFeeder(const FeederSettings& settings);

// A chip the feeder took out of the socket. Contents of the older chips are
// dropped once the kept ones pass kTakenBytesKept; their summary stays.
struct TakenChip {
    std::size_t number = 0;  // 1 for the first chip taken out
    std::string chip;        // the model's name
    bool bad = false;        // went in with a stuck bit
    std::uint32_t sum = 0;   // 32-bit sum of every byte
    std::int64_t takenAtMs = 0;
    std::vector<std::uint8_t> contents;  // empty once dropped
};

inline constexpr std::size_t kTakenBytesKept = 64u << 20;
inline constexpr std::size_t kTakenChipsListed = 10000;

// Bit 0 of every byte of a bad chip stays 1: programming cannot clear it.
inline constexpr std::uint8_t kBadChipStuckBits = 0x01;

// The feeder's schedule. Not thread-safe: the Simulator serialises. A pass
// (state indication "succeeded") on a chip that was written since it went in
// starts one swap: out after outMs, then a fresh chip of the same model in
// after inMs. A pass on an untouched chip (the fresh one) changes nothing.
class Feeder {
public:
    FeederSettings& settings() { return settings_; }
    const FeederSettings& settings() const { return settings_; }

    void onPassed(std::int64_t nowMs, bool chipWritten);
    bool outDue(std::int64_t nowMs) const { return outAtMs_ && *outAtMs_ <= nowMs; }
    std::optional<std::int64_t> outAt() const { return outAtMs_; }
    bool inDue(std::int64_t nowMs) const { return inAtMs_ && *inAtMs_ <= nowMs; }
    // The chip left the socket (model: what was in it, if anything). The
    // next one is due inMs after the scheduled time, however late this is
    // noticed, unless the line ran dry.
    void tookOut(std::int64_t nowMs, const std::optional<ChipModel>& model);
    // What goes in now; the bad flag comes from the bad counter.
    struct Next {
        ChipModel model;
        bool bad = false;
    };
    std::optional<Next> putIn();
    bool pending() const { return outAtMs_ || inAtMs_; }

    void record(TakenChip chip);
    const std::deque<TakenChip>& taken() const { return taken_; }
    std::size_t takenCount() const { return takenCount_; }

private:
    FeederSettings settings_;
    std::optional<std::int64_t> outAtMs_;
    std::optional<std::int64_t> inAtMs_;
    std::optional<ChipModel> nextModel_;
    std::deque<TakenChip> taken_;
    std::size_t takenCount_ = 0;
    std::size_t keptBytes_ = 0;
};

}  // namespace nyra::sim
