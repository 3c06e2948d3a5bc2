// SPDX-License-Identifier: GPL-3.0-or-later
// What kvq-cli prints for a job's progress bar: a bar redrawn in place on a
// terminal, one line per ten percent in a pipe or a log file.
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <sstream>
#include <vector>

#include "progress_echo.h"

namespace nyra::cli {
namespace {

constexpr int kBar = 7;
constexpr int kOther = 8;

struct EchoRow {
    const char* name;
    bool terminal;
    // "other:..." sets another control's text, "enable" flips the bar's state.
    std::vector<std::string> labels;
    std::string printed;  // the rate left out
};

void PrintTo(const EchoRow& row, std::ostream* os) {
    *os << row.name;
}

std::string withoutRate(const std::string& out) {
    static const std::regex rate("  [0-9]+\\.[0-9] MiB/s");
    return std::regex_replace(out, rate, "");
}

std::string bar(int filled, const char* percent) {
    return "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(30 - filled), ' ') + "] " + percent;
}

class ProgressEchoRows : public testing::TestWithParam<EchoRow> {};

TEST_P(ProgressEchoRows, PrintsWhatTheRowPromises) {
    const EchoRow& row = GetParam();
    Panel panel;
    std::ostringstream out;
    {
        ProgressEcho echo(panel, kBar, out, row.terminal, 4 << 20);
        for (const std::string& label : row.labels) {
            if (label.starts_with("other:"))
                panel.setText(kOther, label.substr(6));
            else if (label == "enable")
                panel.setEnabled(kBar, !panel.enabled(kBar));
            else
                panel.setText(kBar, label);
        }
    }
    EXPECT_EQ(withoutRate(out.str()), row.printed);
}

const EchoRow kRows[] = {
    {"pipe_tenths",
     false,
     {"5%", "10%", "15%", "20%", "35%", "99%", "100%"},
     "10%\n20%\n35%\n99%\n100%\n"},
    {"pipe_labels_without_percent", false, {"读取中", "50", "读取 50%", "1234%", "%"}, "50%\n"},
    {"pipe_next_phase_counts_again", false, {"100%", "0%", "10%", "100%"}, "100%\n10%\n100%\n"},
    {"pipe_other_control_ignored", false, {"other:50%", "other:100%"}, ""},
    {"terminal_bar_and_final_newline",
     true,
     {"0%", "50%", "100%"},
     bar(0, "  0%") + bar(15, " 50%") + bar(30, "100%") + "\n"},
    {"terminal_next_phase_on_its_own_line",
     true,
     {"100%", "10%"},
     bar(30, "100%") + "\n" + bar(3, " 10%") + "\n"},
    {"terminal_nothing_drawn_nothing_printed", true, {"读取中", "other:50%"}, ""},
    {"terminal_redrawn_only_for_text", true, {"40%", "enable", "enable"}, bar(12, " 40%") + "\n"},
};

INSTANTIATE_TEST_SUITE_P(EchoRows, ProgressEchoRows, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressEcho, PercentIsTheNumberBeforeTheLastPercentSign) {
    const std::pair<const char*, int> rows[] = {
        {"0%", 0},        {"7%", 7}, {"100%", 100}, {"擦除 42%", 42}, {"1% of 55%", 55},
        {"55% done", 55}, {"%", -1}, {"x%", -1},    {"1000%", -1},    {"", -1},
    };
    for (const auto& [label, percent] : rows) {
        EXPECT_EQ(ProgressEcho::percentOf(label), percent) << label;
    }
}

}  // namespace
}  // namespace nyra::cli
