// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/feeder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sim/chip_timing.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

bool parseDelayMs(std::string_view value, std::int64_t& ms, std::string* error) {
    std::uint32_t us = 0;
    if (!parseDurationUs(value, us))
        return fail(error,
                    "expected a time such as 500ms or 2s, got '" + text::printable(value) + "'");
    ms = (static_cast<std::int64_t>(us) + 999) / 1000;
    return true;
}

}  // namespace

bool setFeederSetting(FeederSettings& settings, std::string_view nameIn, std::string_view valueIn,
                      std::string* error) {
    const std::string name = text::lower(text::trim(nameIn));
    const std::string_view value = text::trim(valueIn);
    if (name == "on") {
        if (!text::parseBool(value, settings.on))
            return fail(error, "expected on or off, got '" + text::printable(value) + "'");
        return true;
    }
    if (name == "out")
        return parseDelayMs(value, settings.outMs, error);
    if (name == "in")
        return parseDelayMs(value, settings.inMs, error);
    if (name == "bad")
        return parseFaultCounter(value, settings.bad, error);
    if (name == "empty")
        return parseFaultCounter(value, settings.empty, error);
    if (name == "keep") {
        settings.keepFolder = value == "off" ? std::string() : std::string(value);
        return true;
    }
    return fail(error, "unknown feeder setting '" + text::printable(nameIn) +
                           "'; settings: on out in bad empty keep");
}

std::string describeFeeder(const FeederSettings& s) {
    if (!s.on)
        return "off";
    std::string out =
        "on, out " + std::to_string(s.outMs) + " ms, in " + std::to_string(s.inMs) + " ms";
    if (s.bad.armed())
        out += ", bad " + faultCounterText(s.bad);
    if (s.empty.armed())
        out += ", empty " + faultCounterText(s.empty);
    if (!s.keepFolder.empty())
        out += ", keep " + s.keepFolder;
    return out;
}

void Feeder::onPassed(std::int64_t nowMs, bool chipWritten) {
    if (!settings_.on || !chipWritten || pending())
        return;
    outAtMs_ = nowMs + settings_.outMs;
}

void Feeder::tookOut(std::int64_t nowMs, const std::optional<ChipModel>& model) {
    const std::int64_t at = outAtMs_.value_or(nowMs);
    outAtMs_.reset();
    if (!model || settings_.empty.fire())
        return;
    nextModel_ = model;
    inAtMs_ = at + settings_.inMs;
}

std::optional<Feeder::Next> Feeder::putIn() {
    inAtMs_.reset();
    if (!nextModel_)
        return std::nullopt;
    Next next{*nextModel_, settings_.bad.fire()};
    nextModel_.reset();
    return next;
}

namespace {

// taken-N.bin, N one past the highest there.
void keepChip(const std::string& folder, const std::vector<std::uint8_t>& contents) {
    std::size_t highest = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("taken-") && name.ends_with(".bin"))
            highest = std::max<std::size_t>(highest, std::strtoul(name.c_str() + 6, nullptr, 10));
    }
    std::ofstream(folder + "/taken-" + std::to_string(highest + 1) + ".bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()),
               static_cast<std::streamsize>(contents.size()));
}

}  // namespace

void Feeder::record(TakenChip chip) {
    if (!settings_.keepFolder.empty())
        keepChip(settings_.keepFolder, chip.contents);
    chip.number = ++takenCount_;
    keptBytes_ += chip.contents.size();
    taken_.push_back(std::move(chip));
    for (auto& old : taken_) {
        if (keptBytes_ <= kTakenBytesKept)
            break;
        keptBytes_ -= old.contents.size();
        old.contents = {};
    }
    if (taken_.size() > kTakenChipsListed) {
        keptBytes_ -= taken_.front().contents.size();
        taken_.pop_front();
    }
}

}  // namespace nyra::sim
