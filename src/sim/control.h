// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulator.h"

namespace nyra::sim {

inline constexpr std::size_t kMaxControlLine = 1024;

// The control commands of the demo device, one line each:
//   status | list-chips | help
//   plug [n] | unplug [n]                      (n = programmer 1 or 2, default 1)
//   insert <chip> [n] | swap <chip> [n] | remove [n]
//   fault <name> <value> [n] | timing <factor>
//   feeder <name> <value> [n] | taken [n] | peek <k> <address> [length] [n]
// The reply's first line is "ok" or "error: <reason>"; more lines may follow.
class Control {
public:
    explicit Control(Simulator& simulator) : sim_(simulator) {}

    // Chips named here keep their image file when they are inserted again.
    void rememberImage(const std::string& chip, const std::string& image);

    std::string run(std::string_view line);

private:
    std::string insert(std::string_view chip, int programmer, bool swap);
    std::string status() const;
    std::string takenList(int programmer) const;
    std::string peek(const std::vector<std::string_view>& words, int programmer) const;

    Simulator& sim_;
    std::map<std::string, std::string> images_;
};

std::string listChipsText();

}  // namespace nyra::sim
