// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace nyra::cli {

// text as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

}  // namespace nyra::cli
