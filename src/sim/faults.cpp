// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/faults.h"

#include <utility>

#include "sim/text_util.h"

namespace nyra::sim {

namespace {

constexpr std::uint64_t kMaxCount = 1000000;

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

}  // namespace

bool parseFaultCounter(std::string_view value, FaultCounter& out, std::string* error) {
    value = text::trim(value);
    if (text::iequals(value, "off")) {
        out = {};
        return true;
    }
    FaultCounter counter;
    std::string_view countText = value;
    const std::size_t at = value.find('@');
    if (at != std::string_view::npos) {
        countText = value.substr(0, at);
        std::uint64_t after = 0;
        if (!text::parseUnsigned(value.substr(at + 1), after) || after > kMaxCount) {
            return fail(error, "bad skip count in '" + text::printable(value) + "'");
        }
        counter.after = static_cast<int>(after);
    }
    if (text::iequals(countText, "always")) {
        counter.count = -1;
    } else {
        std::uint64_t count = 0;
        if (!text::parseUnsigned(countText, count) || count > kMaxCount) {
            return fail(error, "expected <count>[@after], always or off, got '" +
                                   text::printable(value) + "'");
        }
        counter.count = static_cast<int>(count);
    }
    out = counter;
    return true;
}

std::string faultCounterText(const FaultCounter& c) {
    std::string s = c.count < 0 ? "always" : std::to_string(c.count);
    if (c.after > 0)
        s += "@" + std::to_string(c.after);
    return s;
}

namespace {

// The faults that take a <count>[@after] value, by name.
const std::vector<std::pair<std::string_view, FaultCounter Faults::*>>& counterFaults() {
    static const std::vector<std::pair<std::string_view, FaultCounter Faults::*>> table{
        {"short_reads", &Faults::shortReads},
        {"failed_reads", &Faults::failedReads},
        {"stall", &Faults::stalls},
        {"open", &Faults::openFails},
        {"set_configuration", &Faults::configurationFails},
        {"claim", &Faults::claimFails},
        {"no_reenumeration", &Faults::noReenumeration},
        {"no_handshake", &Faults::noHandshake},
        {"wrong_start_echo", &Faults::wrongStartEcho},
        {"block_ack_missing", &Faults::blockAckMissing},
        {"stream_write_fails", &Faults::streamWriteFails},
        {"readback_differs", &Faults::readBackDiffers},
        {"short_readback", &Faults::shortReadBack},
        {"wrong_finish_byte", &Faults::wrongFinishByte},
        {"no_finish_reply", &Faults::noFinishReply},
        {"otp_refuse", &Faults::otpRefuse},
        {"otp_short_reply", &Faults::otpShortReply},
        {"otp_write_fails", &Faults::otpWriteFails}};
    return table;
}

}  // namespace

bool Faults::flakyRead() {
    if (flakyPerMille == 0)
        return false;
    std::uint32_t x = seed != 0 ? seed : 1;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    seed = x;
    return x % 1000 < flakyPerMille;
}

const std::vector<std::string_view>& faultNames() {
    static const std::vector<std::string_view> names{"unplug_after",
                                                     "pull_chip_after",
                                                     "refuse",
                                                     "short_reads",
                                                     "failed_reads",
                                                     "stall",
                                                     "open",
                                                     "set_configuration",
                                                     "claim",
                                                     "blocked",
                                                     "flaky_reads",
                                                     "seed",
                                                     "no_reenumeration",
                                                     "no_handshake",
                                                     "wrong_start_echo",
                                                     "block_ack_missing",
                                                     "stream_write_fails",
                                                     "readback_differs",
                                                     "short_readback",
                                                     "wrong_finish_byte",
                                                     "no_finish_reply",
                                                     "otp_refuse",
                                                     "otp_short_reply",
                                                     "otp_write_fails",
                                                     "clear"};
    return names;
}

bool setFault(Faults& faults, std::string_view nameIn, std::string_view valueIn,
              std::string* error) {
    const std::string name = text::lower(text::trim(nameIn));
    const std::string_view value = text::trim(valueIn);
    if (name == "clear") {
        faults = Faults{};
        return true;
    }
    if (name == "unplug_after" || name == "pull_chip_after") {
        std::int64_t& budget =
            name == "unplug_after" ? faults.unplugAfterBytes : faults.pullChipAfterBytes;
        if (text::iequals(value, "off")) {
            budget = -1;
            return true;
        }
        std::uint64_t bytes = 0;
        if (!text::parseSize(value, bytes) || bytes > (1ull << 40)) {
            return fail(error,
                        "expected a byte count or off, got '" + text::printable(value) + "'");
        }
        budget = static_cast<std::int64_t>(bytes);
        return true;
    }
    if (name == "refuse") {
        const std::size_t colon = value.find(':');
        std::uint64_t code = 0;
        if (colon == std::string_view::npos || !text::parseUnsigned(value.substr(0, colon), code) ||
            code > 63) {
            return fail(error, "expected <code 0..63>:<count>[@after], got '" +
                                   text::printable(value) + "'");
        }
        FaultCounter counter;
        if (!parseFaultCounter(value.substr(colon + 1), counter, error))
            return false;
        if (counter.armed()) {
            faults.refuse[static_cast<std::uint8_t>(code)] = counter;
        } else {
            faults.refuse.erase(static_cast<std::uint8_t>(code));
        }
        return true;
    }
    if (name == "blocked") {
        if (!text::parseBool(value, faults.blocked)) {
            return fail(error, "expected 0 or 1, got '" + text::printable(value) + "'");
        }
        return true;
    }
    if (name == "flaky_reads" || name == "seed") {
        std::uint64_t number = 0;
        if (!text::parseUnsigned(value, number) || number > 0xFFFFFFFFull ||
            (name == "flaky_reads" && number > 1000)) {
            return fail(error, "bad number '" + text::printable(value) + "'");
        }
        (name == "seed" ? faults.seed : faults.flakyPerMille) = static_cast<std::uint32_t>(number);
        return true;
    }
    FaultCounter* counter = nullptr;
    for (const auto& [known, member] : counterFaults()) {
        if (name == known)
            counter = &(faults.*member);
    }
    if (!counter)
        return fail(error, "unknown fault '" + text::printable(nameIn) + "'");
    return parseFaultCounter(value, *counter, error);
}

std::string describeFaults(const Faults& f) {
    std::string out;
    auto add = [&out](const std::string& item) {
        if (!out.empty())
            out += ' ';
        out += item;
    };
    if (f.unplugAfterBytes >= 0)
        add("unplug_after=" + std::to_string(f.unplugAfterBytes));
    if (f.pullChipAfterBytes >= 0)
        add("pull_chip_after=" + std::to_string(f.pullChipAfterBytes));
    for (const auto& [code, counter] : f.refuse) {
        add("refuse=" + std::to_string(code) + ":" + faultCounterText(counter));
    }
    for (const auto& [name, member] : counterFaults()) {
        const FaultCounter& counter = f.*member;
        if (counter.armed())
            add(std::string(name) + "=" + faultCounterText(counter));
    }
    if (f.blocked)
        add("blocked=1");
    if (f.flakyPerMille)
        add("flaky_reads=" + std::to_string(f.flakyPerMille));
    return out.empty() ? "none" : out;
}

}  // namespace nyra::sim
