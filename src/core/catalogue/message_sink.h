// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace nyra {

enum class MessageIcon { None, Information, Warning, Error };

// A message box shown to the user: the window binds this to its dialogs,
// tests record the calls.
using MessageSink =
    std::function<void(const std::string& text, const std::string& caption, MessageIcon icon)>;

// One line for the program's log: what the catalogue reader met and how it
// coped, for problems that need no dialog.
using LogSink = std::function<void(const std::string& line)>;

}  // namespace nyra
