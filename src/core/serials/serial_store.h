// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serials/sql_connection.h"

// The one authority for a series' serial numbers across a line of stations:
// each chip's ID is reserved in one transaction before its program step and
// given to no other chip afterwards, whatever happens to the station.
namespace nyra {

// How a series writes its IDs; fixed when the series is created.
struct SeriesSettings {
    std::uint64_t start = 0;
    std::uint64_t increment = 1;
    int idLength = 4;
    bool bigEndian = false;
    std::uint64_t fillAddress = 0;
    std::string dataChecksum;  // the main document's

    friend bool operator==(const SeriesSettings&, const SeriesSettings&) = default;
};

// What a run gives; an option left out takes the stored value (or the
// default when the series is new).
struct SeriesRequest {
    std::optional<std::uint64_t> start, increment, fillAddress;
    std::optional<int> idLength;
    std::optional<bool> bigEndian;
    std::string dataChecksum;
};

// Passed: the chip holds its ID. Failed: it was written and rejected, so its ID
// is free again. Unknown: it may hold its ID, which no other chip gets.
// Returned: no chip began to be written with it; the ID is free and was never
// given out.
enum class ChipOutcome { Passed, Failed, Unknown, Returned };

// Who takes an ID: the station and its programmer, for the record.
struct Taker {
    std::string station;
    std::string programmer;
    std::string chip;
};

struct IdRecord {
    std::uint64_t id = 0;
    std::string state;  // reserved, passed, failed, unknown (free ones are not listed)
    std::string station, programmer, chip, dataChecksum, time;
    bool reusable = false;
};

struct SeriesStatus {
    SeriesSettings settings;
    std::uint64_t nextId = 0;  // the next new ID; a freed one goes first
    std::vector<std::uint64_t> freed;
    std::map<std::string, std::uint64_t> perState;
    std::map<std::string, std::map<std::string, std::uint64_t>>
        perStation;                      // station -> state -> n
    std::vector<std::uint64_t> expired;  // reserved IDs whose lease ran out, now unknown
};

class SerialStore {
public:
    static constexpr int kSchemaVersion = 1;
    // A station that does not renew its reservation for this long counts as gone.
    static constexpr std::int64_t kDefaultLeaseSeconds = 600;

    explicit SerialStore(std::unique_ptr<SqlConnection> connection);

    // Tables created or brought up to this version; false with error().
    bool prepare();
    // The series NAME: created from request when new, else its stored
    // settings, refused when request names a value that differs.
    std::optional<SeriesSettings> openSeries(const std::string& series,
                                             const SeriesRequest& request);
    // The stored settings of a series; nullopt when there is none (or on an error).
    std::optional<SeriesSettings> seriesSettings(const std::string& series) {
        return storedSettings(series);
    }
    // What this station left reserved when it last stopped becomes unknown.
    std::optional<std::vector<std::uint64_t>> recoverStation(const std::string& series,
                                                             const std::string& station);
    // The lowest freed ID, else the next new one; nullopt with error() (the
    // series is used up when the next ID does not fit its length).
    std::optional<std::uint64_t> reserve(const std::string& series, const Taker& taker,
                                         const std::string& time,
                                         std::int64_t leaseSeconds = kDefaultLeaseSeconds);
    // Keeps this station's reservations alive.
    bool renew(const std::string& series, const std::string& station,
               std::int64_t leaseSeconds = kDefaultLeaseSeconds);
    // The chip with a reserved ID ended: a failed chip gives its ID back (it
    // never held it, or it was rejected), an unknown one keeps it for ever.
    bool finish(const std::string& series, std::uint64_t id, const std::string& station,
                ChipOutcome outcome, const std::string& chip, const std::string& dataChecksum,
                const std::string& time);
    // An operator hands an unknown ID back.
    bool release(const std::string& series, std::uint64_t id, const std::string& time);

    std::optional<std::vector<IdRecord>> list(const std::string& series);
    // Also turns reservations whose lease ran out into unknown.
    std::optional<SeriesStatus> status(const std::string& series);

    const std::string& error() const { return error_; }

private:
    std::optional<std::vector<SqlRow>> run(const std::string& sql,
                                           const std::vector<SqlValue>& params = {});
    bool fail(const std::string& message);
    bool commit();
    std::optional<SeriesSettings> storedSettings(const std::string& series);

    std::unique_ptr<SqlConnection> db_;
    std::string error_;
};

// "sqlite:PATH" or a PostgreSQL URI ("postgresql://user@host:port/db"); a
// prepared store, or nullptr with the reason in error (no password in it).
std::unique_ptr<SerialStore> openSerialStore(const std::string& url, std::string& error);

// The URL as it may be shown: a password in it replaced by "***".
std::string shownUrl(const std::string& url);

// The largest ID of idLength bytes.
std::uint64_t largestSerial(int idLength);

}  // namespace nyra
