// SPDX-License-Identifier: GPL-3.0-or-later
#include "serials_command.h"

#include <charconv>
#include <optional>

#include "batch_command.h"
#include "detect_command.h"
#include "json_text.h"
#include "production_record.h"
#include "serials/serial_store.h"

namespace nyra::cli {

const char* const kSerialsHelp =
    "usage: kvq-cli serials list --series NAME [--serials URL] [--json]\n"
    "       kvq-cli serials status --series NAME [--serials URL] [--json]\n"
    "       kvq-cli serials release --series NAME [--serials URL] ID\n"
    "  the IDs a series of `kvq-cli batch --mode id --series NAME` gave out\n"
    "  list      one line per ID: id,state,station,programmer,chip,data_checksum,time\n"
    "            (state: reserved, passed, failed or unknown)\n"
    "  status    the series' settings, its next ID, the freed IDs, counts per state and\n"
    "            station; a reservation whose station stopped renewing it becomes unknown\n"
    "  release   hand an unknown ID back, for the next chip of any station\n"
    "  --serials URL  sqlite:PATH (default sqlite:serials.db in the program folder)\n"
    "                 or postgresql://user@host:port/db\n"
    "exit status: 0 done, 2 usage, 10 the store could not be reached or refused\n";

namespace {

struct SerialsRequest {
    std::string action;
    std::string series;
    std::optional<std::string> url;
    std::optional<std::uint64_t> id;
    bool json = false;
};

bool parse(const std::vector<std::string>& words, SerialsRequest& request, std::string& error) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if ((word == "--series" || word == "--serials") && i + 1 < words.size()) {
            (word == "--series" ? request.series : request.url.emplace()) = words[++i];
        } else if (word == "--json") {
            request.json = true;
        } else if (word.starts_with("--")) {
            error = word == "--series" || word == "--serials" ? word + " needs a value"
                                                              : "unknown option " + word;
            return false;
        } else if (request.action.empty()) {
            request.action = word;
        } else if (request.action == "release" && !request.id) {
            std::uint64_t id = 0;
            const auto [end, failed] = std::from_chars(word.data(), word.data() + word.size(), id);
            if (failed != std::errc{} || end != word.data() + word.size()) {
                error = "release takes the ID as a decimal number, not " + word;
                return false;
            }
            request.id = id;
        } else {
            error = "unexpected operand " + word;
            return false;
        }
    }
    if (request.action != "list" && request.action != "status" && request.action != "release") {
        error = request.action.empty() ? "serials needs list, status or release"
                                       : "unknown action " + request.action;
        return false;
    }
    if (request.series.empty()) {
        error = "--series NAME is needed";
        return false;
    }
    if (request.action == "release" && !request.id) {
        error = "release needs the ID";
        return false;
    }
    return true;
}

std::string now() {
    return dateTimeText(SystemClock().localTime());
}

void printList(const std::vector<IdRecord>& records, bool json, std::ostream& out) {
    for (const IdRecord& r : records) {
        if (json) {
            out << "{\"id\":" << r.id << ",\"state\":" << jsonString(r.state)
                << ",\"station\":" << jsonString(r.station)
                << ",\"programmer\":" << jsonString(r.programmer)
                << ",\"chip\":" << jsonString(r.chip)
                << ",\"data_checksum\":" << jsonString(r.dataChecksum)
                << ",\"time\":" << jsonString(r.time) << "}\n";
        } else {
            out << r.id << ',' << r.state << ',' << csvField(r.station) << ','
                << csvField(r.programmer) << ',' << csvField(r.chip) << ','
                << csvField(r.dataChecksum) << ',' << csvField(r.time) << '\n';
        }
    }
}

std::string idList(const std::vector<std::uint64_t>& ids) {
    std::string text;
    for (const std::uint64_t id : ids)
        text += (text.empty() ? "" : ",") + std::to_string(id);
    return text;
}

void printStatus(const std::string& name, const SeriesStatus& s, bool json, std::ostream& out) {
    const SeriesSettings& c = s.settings;
    if (json) {
        out << "{\"series\":" << jsonString(name) << ",\"start\":" << c.start
            << ",\"increment\":" << c.increment << ",\"id_length\":" << c.idLength
            << ",\"big_endian\":" << (c.bigEndian ? "true" : "false")
            << ",\"fill_address\":" << c.fillAddress
            << ",\"data_checksum\":" << jsonString(c.dataChecksum) << ",\"next_id\":" << s.nextId
            << ",\"freed\":[" << idList(s.freed) << "],\"expired\":[" << idList(s.expired)
            << "],\"states\":{";
        bool first = true;
        for (const auto& [state, n] : s.perState) {
            out << (first ? "" : ",") << jsonString(state) << ':' << n;
            first = false;
        }
        out << "},\"stations\":{";
        first = true;
        for (const auto& [station, states] : s.perStation) {
            out << (first ? "" : ",") << jsonString(station) << ":{";
            bool firstState = true;
            for (const auto& [state, n] : states) {
                out << (firstState ? "" : ",") << jsonString(state) << ':' << n;
                firstState = false;
            }
            out << '}';
            first = false;
        }
        out << "}}\n";
        return;
    }
    out << "series " << name << ": start " << c.start << ", increment " << c.increment
        << ", ID length " << c.idLength << (c.bigEndian ? ", big-endian" : ", little-endian")
        << ", fill address " << c.fillAddress << ", data checksum " << c.dataChecksum << '\n';
    out << "next ID: " << (s.freed.empty() ? s.nextId : s.freed.front())
        << (s.freed.empty() ? "" : " (freed); next new ID " + std::to_string(s.nextId)) << '\n';
    if (!s.freed.empty())
        out << "freed: " << idList(s.freed) << '\n';
    if (!s.expired.empty())
        out << "now unknown (their station stopped renewing them): " << idList(s.expired) << '\n';
    for (const auto& [state, n] : s.perState)
        out << state << ": " << n << '\n';
    for (const auto& [station, states] : s.perStation) {
        out << "station " << station << ':';
        for (const auto& [state, n] : states)
            out << ' ' << state << ' ' << n;
        out << '\n';
    }
}

}  // namespace

int runSerials(const std::string& programFolder, const std::vector<std::string>& words,
               std::ostream& out, std::ostream& err) {
    SerialsRequest request;
    std::string error;
    if (!parse(words, request, error)) {
        err << "kvq-cli serials: " << error << '\n' << kSerialsHelp;
        return kExitUsage;
    }
    const std::string url = request.url.value_or("sqlite:" + programFolder + "/serials.db");
    const auto store = openSerialStore(url, error);
    if (!store) {
        err << error << '\n';
        return kExitSerialStore;
    }
    if (request.action == "list") {
        const auto records = store->list(request.series);
        if (!records) {
            err << shownUrl(url) << ": " << store->error() << '\n';
            return kExitSerialStore;
        }
        printList(*records, request.json, out);
    } else if (request.action == "status") {
        const auto status = store->status(request.series);
        if (!status) {
            err << shownUrl(url) << ": " << store->error() << '\n';
            return kExitSerialStore;
        }
        printStatus(request.series, *status, request.json, out);
    } else {
        if (!store->release(request.series, *request.id, now())) {
            err << shownUrl(url) << ": " << store->error() << '\n';
            return kExitSerialStore;
        }
        err << "ID " << *request.id << " of the series " << request.series
            << " is free again: the next chip of any station may get it\n";
    }
    return 0;
}

}  // namespace nyra::cli
