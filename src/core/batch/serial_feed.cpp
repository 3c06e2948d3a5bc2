// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/serial_feed.h"

#include <unistd.h>

#include "buffer/data_buffer.h"
#include "buffer/working_file.h"
#include "ops/batch_cycle_job.h"

namespace nyra {

std::string documentChecksum(const std::string& path) {
    WorkingFile file;
    if (path.empty() || !file.openReadOnly(path))
        return kNoChecksumText;
    return formatChecksum(sumOfFirstBytes(file, file.length()));
}

std::string stationName(const std::string& given, const std::string& programmer) {
    if (!given.empty())
        return given;
    char host[256] = {};
    const std::string name = ::gethostname(host, sizeof host - 1) == 0 ? host : "station";
    return programmer.empty() ? name : name + "-" + programmer;
}

SerialFeed::SerialFeed(SerialStore& store, std::string series, Taker taker, Clock& clock)
    : store_(store), series_(std::move(series)), taker_(std::move(taker)), clock_(clock) {}

std::string SerialFeed::now() const {
    return dateTimeText(clock_.localTime());
}

std::optional<std::vector<std::uint64_t>> SerialFeed::recover() {
    std::lock_guard lock(mutex_);
    auto ids = store_.recoverStation(series_, taker_.station);
    if (!ids)
        error_ = store_.error();
    return ids;
}

std::optional<std::uint32_t> SerialFeed::next() {
    std::lock_guard lock(mutex_);
    // One chip at a time: an ID not yet ended is the one the next chip gets.
    if (reserved_)
        return reserved_;
    const auto id = store_.reserve(series_, taker_, now());
    if (!id) {
        error_ = store_.error();
        return std::nullopt;
    }
    reserved_ = static_cast<std::uint32_t>(*id);
    writing_ = false;
    return reserved_;
}

void SerialFeed::writing(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    if (reserved_ == id)
        writing_ = true;
}

bool SerialFeed::ended(std::uint32_t id, std::uint8_t code, const std::string& chip,
                       const std::string& dataChecksum) {
    std::lock_guard lock(mutex_);
    if (reserved_ != id) {
        error_ = "ID " + std::to_string(id) + " was not reserved for this chip";
        return false;
    }
    // A chip that failed before its program step never held the ID.
    const ChipOutcome outcome = code == batch_result::kPassed    ? ChipOutcome::Passed
                                : code == batch_result::kUnknown ? ChipOutcome::Unknown
                                : writing_                       ? ChipOutcome::Failed
                                                                 : ChipOutcome::Returned;
    reserved_.reset();
    if (!store_.finish(series_, id, taker_.station, outcome, chip, dataChecksum, now())) {
        error_ = store_.error();
        return false;
    }
    return true;
}

bool SerialFeed::close() {
    std::lock_guard lock(mutex_);
    if (!reserved_)
        return true;
    const std::uint32_t id = *reserved_;
    reserved_.reset();
    const ChipOutcome outcome = writing_ ? ChipOutcome::Unknown : ChipOutcome::Returned;
    if (!store_.finish(series_, id, taker_.station, outcome, taker_.chip, "", now())) {
        error_ = store_.error();
        return false;
    }
    return true;
}

bool SerialFeed::renew() {
    std::lock_guard lock(mutex_);
    if (store_.renew(series_, taker_.station))
        return true;
    error_ = store_.error();
    return false;
}

}  // namespace nyra
