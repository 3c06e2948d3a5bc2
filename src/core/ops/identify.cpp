// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/identify.h"

#include <algorithm>
#include <array>
#include <optional>

#include "ops/transfers.h"

namespace nyra {

using namespace ids;

namespace {

constexpr std::array<ProbeSetting, kProbeCount> kProbes{{
    {false, true, 0, 0x00, 'A'},   // RDID
    {false, true, 0, 0x20, 'A'},   // REMS
    {false, true, 0, 0x60, 'A'},   // RDID, low clock
    {false, true, 0, 0x70, 'A'},   // REMS, low clock
    {false, true, 0, 0x80, 'A'},   // RES
    {true, false, 1, 0x00, 'B'},   // I2C EEPROM
    {false, false, 4, 0x00, 'A'},  // SPD EEPROM
    {true, false, 2, 0x00, 'B'},   // SPI EEPROM
    {true, false, 3, 0x00, 'B'},   // Microwire, four wirings
    {true, false, 3, 0x10, 'B'},
    {true, false, 3, 0x01, 'B'},
    {true, false, 3, 0x11, 'B'},
}};

constexpr int kDrainLength = 64;
constexpr int kProbeDrainTimeoutMs = 1;
constexpr int kQuietDrainTimeoutMs = 10;
constexpr int kDeviceChangeSettleMs = 50;
constexpr int kAdapterTimeoutMs = 1000;
constexpr int kEndOfOperationTimeoutMs = 5000;
constexpr int kQuietParametersTimeoutMs = 100;
constexpr int kQuietProbeWaitMs = 6;
constexpr int kGroupSettleMs = 30;
constexpr int kIdentityCommandTimeoutMs = 5000;
constexpr int kFullReadTimeoutMs = 10000;
constexpr int kQuietReadTimeoutMs = 5000;
constexpr int kParametersTimeoutMs = 5000;
constexpr int kEndSettleMs = 50;
constexpr std::uint32_t kLargeChip = 0x7FFFFF;
constexpr const char* kBoxTail = "          ";

struct StateCode {
    const char* text;
    int typePosition;
    TextKey message;
};
constexpr std::array<StateCode, 4> kStateCodes{{
    {"000001", 1, itext(69)},
    {"000005", 2, itext(188)},
    {"000002", 3, itext(70)},
    {"000003", 4, itext(71)},
}};
// Microwire chips are found in either wiring; a list already showing the
// rotated wiring is left there.
constexpr int kRotatedMicrowirePosition = 5;

bool contains(const std::vector<std::uint32_t>& values, std::uint32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Probes 1 to 4 ask twice, at two clock rates; a repeated answer counts once.
// Answers that mean nothing answered, and cleared duplicates, are dropped.
std::vector<std::uint32_t> evaluate(std::vector<std::uint32_t> candidates) {
    if (candidates.size() >= 3 && candidates[0] == candidates[2])
        candidates[2] = 0;
    if (candidates.size() >= 4 && candidates[1] == candidates[3])
        candidates[3] = 0;
    std::erase_if(candidates,
                  [](std::uint32_t id) { return id == 0 || id == 0xFFFF || id == 0xFFFFFF; });
    return candidates;
}

class Identification {
public:
    Identification(ChipJobRoles context, bool full) : c_(context), full_(full) {}

    int run(bool connect);
    IdentifyOutcome outcome() const { return outcome_; }

private:
    bool linkUp();
    void drain(int timeoutMs);
    void probeAdapter();
    std::optional<int> probeSeries();
    // A decided result, or nullopt to go on with the next probe.
    std::optional<int> runProbe(const ProbeSetting& setting, bool changesGroup,
                                std::vector<std::uint32_t>& candidates);
    void applyProbe(const ProbeSetting& setting);
    int selectFamily(const StateCode& code);
    std::optional<int> match(const std::vector<std::uint32_t>& candidates);
    int found(const std::vector<std::uint32_t>& records);
    int end(std::optional<int> result);
    void listMatches(const std::vector<std::uint32_t>& records);
    std::string chipLine(const ChipRecord& record) const;

    bool detectJob() const { return full_ && c_.jobCode() == job::kFullIdentify; }
    void failure(TextKey key, BoxIcon icon) {
        c_.alert(key);
        if (full_)
            c_.box(c_.text(key), icon);
    }

    ChipJobRoles c_;
    const bool full_;
    bool adapter_ = false;
    IdentifyOutcome outcome_;
};

int Identification::run(bool connect) {
    JobFlags& flags = c_.flags;
    flags.chipChanged.store(false);
    if (!full_ && !c_.autoIdentifyOn()) {
        outcome_.result = kIdentifyMatched;
        return kIdentifyMatched;
    }
    flags.notUnique.store(false);
    flags.programmerBlocked.store(false);
    if (!flags.fileLoaded.load())
        c_.panel.greyMenuCommand(kCmdDataView);
    if (!full_ && c_.worker.deviceChangeFlag.load())
        c_.clock.sleepMs(kDeviceChangeSettleMs);
    if (connect && !linkUp()) {
        outcome_.result = kIdentifyNoProgrammer;
        return kIdentifyNoProgrammer;
    }
    if (!full_)
        drain(kQuietDrainTimeoutMs);
    probeAdapter();
    return end(probeSeries());
}

bool Identification::linkUp() {
    if (full_)
        return c_.link().ensureLink() != kLinkStop;
    if (c_.link().linkCheck() != kLinkStop)
        return true;
    if (!c_.flags.restartingAt(c_.clock.nowMs()))
        c_.frontend.beep(BeepKind::Exclamation);
    return false;
}

void Identification::drain(int timeoutMs) {
    std::uint8_t scratch[kDrainLength];
    c_.link().readReply(scratch, kDrainLength, timeoutMs);
}

void Identification::probeAdapter() {
    c_.selection.setAdapterFlag(false);
    std::uint8_t answer[kDrainLength] = {};
    if (c_.channel.sendCommand(cmd::kAdapterQuery, kAdapterTimeoutMs) &&
        c_.link().readReply(answer, 1, kAdapterTimeoutMs) == 1 && answer[0] == 1) {
        c_.selection.setAdapterFlag(true);
    }
    adapter_ = c_.selection.adapterFlag();
    c_.panel.setChecked(kPicPlacement, adapter_);
}

void Identification::applyProbe(const ProbeSetting& setting) {
    const bool adapter = adapter_;
    c_.selection.modifyParameterBlock([&](ChipParameterBlock& block) {
        auto& bytes = block.bytes;
        bytes[1] = static_cast<std::uint8_t>(setting.familyBit ? bytes[1] | 0x80 : bytes[1] & 0x7F);
        bytes[2] = setting.busFromAdapter
                       ? static_cast<std::uint8_t>(adapter ? 0x80 : 0x00)
                       : static_cast<std::uint8_t>((bytes[2] & 0xF0) | setting.busCode);
        bytes[3] = setting.parameter;
    });
}

std::optional<int> Identification::probeSeries() {
    const int lastProbe = adapter_ ? kProbesWithAdapter : kProbeCount;
    std::vector<std::uint32_t> candidates;
    char previousGroup = 0;
    for (int probe = 1; probe <= lastProbe; ++probe) {
        const ProbeSetting& setting = probeSetting(probe);
        const bool changesGroup = setting.group != previousGroup;
        previousGroup = setting.group;
        if (const auto decided = runProbe(setting, changesGroup, candidates))
            return decided;
        // Most SPI flash parts answer the fifth probe with a bare signature,
        // which is no answer: the IDs of the first four are looked up all the same.
        // Later probes only look for the state codes of families without an ID.
        if (probe == kProbesWithAdapter) {
            const auto left = evaluate(candidates);
            if (!left.empty())
                return match(left);
        }
    }
    return std::nullopt;
}

std::optional<int> Identification::runProbe(const ProbeSetting& setting, bool changesGroup,
                                            std::vector<std::uint32_t>& candidates) {
    applyProbe(setting);
    drain(kProbeDrainTimeoutMs);
    if (full_) {
        c_.channel.sendCommand(cmd::kEndOfOperation, kEndOfOperationTimeoutMs);
    } else {
        c_.channel.sendCommand(cmd::kCarryParameters, kQuietParametersTimeoutMs);
        c_.clock.sleepMs(kQuietProbeWaitMs);
    }
    if (changesGroup)
        c_.clock.sleepMs(kGroupSettleMs);

    if (!c_.channel.sendCommand(cmd::kReadIdentity, kIdentityCommandTimeoutMs)) {
        c_.panel.greyMenuCommand(kCmdChipFill);
        failure(itext(35), BoxIcon::Warning);
        return kIdentifyNoProgrammer;
    }
    std::uint8_t reply[kDrainLength] = {};
    const int timeoutMs = full_ ? kFullReadTimeoutMs : kQuietReadTimeoutMs;
    int n = c_.link().readReply(reply, 3, timeoutMs);
    // An answer that came in pieces is put together, so that its rest is not
    // taken for the next probe's answer.
    if (n > 0 && n < 3)
        n += static_cast<int>(
            readFully(c_.link(), reply + n, static_cast<std::size_t>(3 - n), timeoutMs));
    if (n < 0) {
        c_.panel.greyMenuCommand(kCmdChipFill);
        failure(itext(72), BoxIcon::Information);
        return kIdentifyFailed;
    }
    if (n != 3)
        return std::nullopt;

    const std::uint32_t identity =
        (std::uint32_t{reply[0]} << 16) | (std::uint32_t{reply[1]} << 8) | reply[2];
    outcome_.identity = identity;
    const std::string text = ChipCatalogue::idText(identity);
    if (text == "000004") {
        failure(itext(56), BoxIcon::Information);
        c_.flags.programmerBlocked.store(true);
        return kIdentifyFailed;
    }
    for (const StateCode& code : kStateCodes) {
        if (text == code.text)
            return selectFamily(code);
    }
    if (std::count(text.begin(), text.end(), '0') > 3)
        return std::nullopt;  // no answer
    if (candidates.size() < kMaxCandidates)
        candidates.push_back(identity);
    return std::nullopt;
}

int Identification::selectFamily(const StateCode& code) {
    c_.panel.greyMenuCommand(kCmdChipFill);
    const int current = c_.selection.typeList().current;
    const bool there = current == code.typePosition ||
                       (code.typePosition == 3 && current == kRotatedMicrowirePosition);
    if (!there && c_.selection.typeChanged(code.typePosition))
        c_.flags.chipChanged.store(true);
    c_.panel.enableMenuCommand(kCmdChipFill);
    c_.panel.enableMenuCommand(kCmdDataView);
    if (!full_ || detectJob() || c_.flags.chipChanged.load())
        c_.alert(code.message);
    if (detectJob())
        c_.box(c_.text(code.message), BoxIcon::Information);
    return kIdentifyNoMatch;
}

std::optional<int> Identification::match(const std::vector<std::uint32_t>& candidates) {
    const ChipCatalogue& catalogue = c_.catalogue;
    const auto tryFind = [&](std::uint32_t id, bool secondary) {
        auto records = secondary ? catalogue.findBySecondaryId(id) : catalogue.findByMainId(id);
        if (!records.empty())
            outcome_.identity = id;
        return records;
    };
    // Full JEDEC IDs first, then IDs without a maker byte, then second IDs.
    for (std::uint32_t id : candidates) {
        if ((id >> 16) & 0xFF) {
            if (auto records = tryFind(id, false); !records.empty())
                return found(records);
        }
    }
    for (std::uint32_t id : candidates) {
        if (((id >> 16) & 0xFF) == 0) {
            if (auto records = tryFind(id, false); !records.empty())
                return found(records);
        }
    }
    for (std::uint32_t id : candidates) {
        if (auto records = tryFind(id, true); !records.empty())
            return found(records);
    }
    c_.normal(itext(75));
    if (detectJob())
        c_.box(c_.text(itext(75)), BoxIcon::Information);
    return kIdentifyNoMatch;
}

int Identification::found(const std::vector<std::uint32_t>& records) {
    outcome_.matches = records;
    const auto shown = c_.selection.shownRecord();
    if (!shown || !contains(records, *shown)) {
        c_.selection.selectRecord(records.front());
        // The user must confirm which of the records sits in the socket.
        if (records.size() > 1)
            c_.flags.chipChanged.store(true);
    }
    c_.panel.enableMenuCommand(kCmdChipFill);
    c_.panel.enableMenuCommand(kCmdDataView);
    if (records.size() == 1) {
        c_.normal(itext(73));
    } else {
        c_.flags.notUnique.store(true);
        if (!full_ || detectJob() || c_.flags.chipChanged.load())
            c_.alert(itext(74));
        listMatches(records);
    }
    if (detectJob()) {
        const ChipRecord* chip = c_.catalogue.record(c_.selection.selectedChip());
        const ChipRecord none{};
        const ChipRecord& r = chip ? *chip : none;
        c_.box(c_.text(itext(191)) + "\r\n" + c_.text(ftext(43)) + r.type + "\r\n" +
                   c_.text(ftext(44)) + r.manufacturer + "\r\n" + c_.text(ftext(45)) + r.device +
                   kBoxTail,
               BoxIcon::Information);
    }
    return kIdentifyMatched;
}

std::string Identification::chipLine(const ChipRecord& record) const {
    return record.type + " : " + record.manufacturer + " : " + record.device;
}

// Every record that shares the identity, so that the user can pick the one in the socket.
void Identification::listMatches(const std::vector<std::uint32_t>& records) {
    const std::size_t count = records.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (const ChipRecord* record = c_.catalogue.record(records[i])) {
            c_.log.line("(" + std::to_string(i + 1) + "/" + std::to_string(count) + ") " +
                        chipLine(*record));
        }
    }
}

int Identification::end(std::optional<int> result) {
    ChipSelection& selection = c_.selection;
    selection.computeParameters(selection.selectedChip());
    if (!result) {
        failure(itext(72), BoxIcon::Information);
        result = kIdentifyFailed;
    } else {
        c_.log.line(selection.typeList().currentText() + " : " +
                    selection.manufacturerList().currentText() + " : " +
                    selection.deviceList().currentText() + " : " + selection.capacityText());
        if (selection.chipSize() > kLargeChip)
            c_.log.line(c_.text(itext(54)));
    }
    c_.channel.sendCommand(cmd::kCarryParameters, kParametersTimeoutMs);
    c_.clock.sleepMs(kEndSettleMs);
    outcome_.result = *result;
    return *result;
}

std::uint8_t jobResult(int identification) {
    return identification == kIdentifyMatched ? 1 : 0;
}

}  // namespace

const ProbeSetting& probeSetting(int probe) {
    return kProbes[static_cast<std::size_t>(std::clamp(probe, 1, kProbeCount) - 1)];
}

bool namesChipFamily(std::uint32_t identity) {
    const std::string text = ChipCatalogue::idText(identity);
    return std::any_of(kStateCodes.begin(), kStateCodes.end(),
                       [&](const StateCode& code) { return text == code.text; });
}

int identifyChip(ChipJobRoles context, bool full, bool connect) {
    Identification identification(context, full);
    const int result = identification.run(connect);
    context.identified.store(identification.outcome());
    return result;
}

std::uint8_t fullIdentifyJob(ChipJobRoles context) {
    return jobResult(identifyChip(context, true, true));
}

std::uint8_t quietIdentifyJob(ChipJobRoles context) {
    return jobResult(identifyChip(context, false, true));
}

}  // namespace nyra
