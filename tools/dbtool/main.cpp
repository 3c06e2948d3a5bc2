// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-dbtool: the chip catalogue between its source text and database.dat.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue_tools.h"
#include "catalogue/chip_catalogue.h"

namespace {

constexpr int kOk = 0;
constexpr int kFaults = 1;
constexpr int kUsage = 2;

int usage() {
    std::cerr << "usage: kvq-dbtool build <catalogue.txt> <database.dat>\n"
                 "       kvq-dbtool dump <database.dat>\n"
                 "       kvq-dbtool check <database.dat>\n";
    return kUsage;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << path << ": cannot open\n";
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::cerr << path << ": read error\n";
        return std::nullopt;
    }
    return bytes;
}

void report(const std::string& file, const nyra::CatalogueIssue& issue, const char* kind) {
    std::cerr << file;
    if (issue.line != 0) {
        std::cerr << ':' << issue.line;
    }
    std::cerr << ": " << kind << ": " << issue.message << '\n';
}

int build(const std::string& source, const std::string& target) {
    const auto text = readFile(source);
    if (!text) {
        return kUsage;
    }
    const auto result = nyra::buildDatabase(*text);
    for (const auto& issue : result.errors) {
        report(source, issue, "error");
    }
    if (!result.ok()) {
        std::cerr << source << ": " << result.errors.size() << " error(s); " << target
                  << " not written\n";
        return kFaults;
    }
    // Write beside the target and rename, so that a failed write never
    // leaves a truncated catalogue behind.
    const std::string temporary = target + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(result.database.data()),
                  static_cast<std::streamsize>(result.database.size()));
        out.close();
        if (!out) {
            std::cerr << temporary << ": cannot write\n";
            std::remove(temporary.c_str());
            return kUsage;
        }
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::cerr << target << ": cannot replace\n";
        std::remove(temporary.c_str());
        return kUsage;
    }
    return kOk;
}

int dump(const std::string& database) {
    const auto bytes = readFile(database);
    if (!bytes) {
        return kUsage;
    }
    const std::string text = nyra::dumpDatabase(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    return std::cout ? kOk : kUsage;
}

int check(const std::string& database) {
    if (!nyra::ChipCatalogue::canOpen(database)) {
        std::cerr << database << ": cannot open\n";
        return kUsage;
    }
    nyra::ChipCatalogue catalogue;
    std::vector<std::string> loadNotes;
    bool openFailed = false;
    catalogue.setLogSink([&loadNotes](const std::string& line) { loadNotes.push_back(line); });
    catalogue.setMessageSink(
        [&openFailed](const std::string& text, const std::string&, nyra::MessageIcon) {
            openFailed = true;
            std::cerr << text << '\n';
        });
    catalogue.load(database);
    if (openFailed) {
        return kUsage;
    }
    auto result = nyra::checkCatalogue(catalogue);
    if (const auto stored = readFile(database)) {
        const auto text = nyra::dumpDatabase(
            std::span(reinterpret_cast<const std::uint8_t*>(stored->data()), stored->size()));
        if (auto issue = nyra::unterminatedLastLine(text)) {
            result.warnings.push_back(std::move(*issue));
        }
    }
    for (const auto& note : loadNotes) {
        report(database, {0, note}, "error");
    }
    for (const auto& issue : result.errors) {
        report(database, issue, "error");
    }
    for (const auto& issue : result.warnings) {
        report(database, issue, "warning");
    }
    if (catalogue.count() == 0) {
        report(database, {0, "no chip records"}, "error");
    }
    for (const auto& line : result.sharedIds) {
        std::cout << "shared " << line << '\n';
    }
    const std::size_t errors =
        result.errors.size() + loadNotes.size() + (catalogue.count() == 0 ? 1 : 0);
    std::cout << catalogue.count() << " records, " << catalogue.typeList().size() << " types, "
              << result.sharedIds.size() << " shared IDs, " << errors << " error(s), "
              << result.warnings.size() << " warning(s)\n";
    return errors == 0 ? kOk : kFaults;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "build") {
        return build(args[1], args[2]);
    }
    if (args.size() == 2 && args[0] == "dump") {
        return dump(args[1]);
    }
    if (args.size() == 2 && args[0] == "check") {
        return check(args[1]);
    }
    return usage();
}
