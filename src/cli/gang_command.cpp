// SPDX-License-Identifier: GPL-3.0-or-later
#include "gang_command.h"

#include <algorithm>
#include <mutex>
#include <streambuf>
#include <thread>

#include "app/file_access.h"
#include "detect_command.h"
#include "job_command.h"
#include "production_record.h"
#include "programmer_choice.h"

namespace nyra::cli {

namespace {

// Whole lines to a shared stream, each headed by its programmer, so that
// the lines of programmers working at once never mix.
class HeadedLines : public std::streambuf {
public:
    HeadedLines(std::ostream& to, std::mutex& mutex, std::string head)
        : to_(to), mutex_(mutex), head_(std::move(head)) {}
    ~HeadedLines() override { flushLine(); }
    HeadedLines(const HeadedLines&) = delete;
    HeadedLines& operator=(const HeadedLines&) = delete;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        line_ += traits_type::to_char_type(c);
        if (line_.back() == '\n')
            flushLine();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i)
            overflow(traits_type::to_int_type(text[i]));
        return n;
    }

private:
    void flushLine() {
        if (line_.empty())
            return;
        if (line_.back() != '\n')
            line_ += '\n';
        std::lock_guard lock(mutex_);
        to_ << head_ << line_;
        to_.flush();
        line_.clear();
    }

    std::ostream& to_;
    std::mutex& mutex_;
    std::string head_;
    std::string line_;
};

}  // namespace

int gangStatus(const std::vector<int>& statuses, bool stopped) {
    if (statuses.empty())
        return kExitNoProgrammer;
    if (stopped && std::find(statuses.begin(), statuses.end(), kExitStopped) != statuses.end())
        return kExitStopped;
    const bool alike = std::all_of(statuses.begin(), statuses.end(),
                                   [&](int status) { return status == statuses.front(); });
    return alike ? statuses.front() : kExitGangMixed;
}

int runGang(const std::string& programFolder, const BatchRequest& request, const UsbApi& usb,
            Clock& clock, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    std::vector<ChosenProgrammer> gang;
    if (const int status = chooseProgrammers(usb, *request.programmers, gang, err))
        return status;
    if (request.record) {
        // Made here once, so that programmers starting together write one header.
        ProductionRecord record;
        if (!record.open(*request.record)) {
            err << *request.record << ": cannot be written: " << fileErrorText(record.error())
                << '\n';
            return kExitUsage;
        }
    }
    std::mutex outMutex;
    std::mutex errMutex;
    std::vector<int> statuses(gang.size(), 0);
    std::vector<std::thread> parts;
    for (std::size_t i = 0; i < gang.size(); ++i) {
        parts.emplace_back([&, i] {
            const std::string name = gang[i].name();
            const std::string head = "programmer " + name + ": ";
            // JSON objects name their programmer themselves (station).
            HeadedLines outLines(out, outMutex, request.json ? "" : head);
            HeadedLines errLines(err, errMutex, head);
            std::ostream partOut(&outLines);
            std::ostream partErr(&errLines);
            statuses[i] = runBatchPart(programFolder, request, usb, clock, partOut, partErr, stop,
                                       BatchPart{gang[i].entry.busPath, name, true});
        });
    }
    for (std::thread& part : parts)
        part.join();
    for (std::size_t i = 0; i < gang.size(); ++i)
        err << "programmer " << gang[i].name() << ": status " << statuses[i] << "\n";
    return gangStatus(statuses, stop.load());
}

}  // namespace nyra::cli
