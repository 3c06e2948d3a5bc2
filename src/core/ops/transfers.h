// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/command_channel.h"
#include "device/frames.h"
#include "device/link.h"

// The small exchanges every chip job makes with the programmer.
namespace nyra {

// Reads and drops what the programmer still has to send, until a read of up
// to length bytes delivers nothing within timeoutMs.
void drainInput(Link& link, int length, int timeoutMs);

// Reads until count bytes arrived or a read delivers nothing: a transfer may
// come in several pieces, and a short block must not be compared as whole.
// Returns the bytes received.
std::size_t readFully(Link& link, std::uint8_t* buffer, std::size_t count, int timeoutMs);

// Waits for one byte of the given value: at most `reads` one-byte reads of
// timeoutMs each. True when it arrived.
bool waitForByte(Link& link, std::uint8_t value, int reads, int timeoutMs);

// The serial number the programmer reports: NotTaken when the command was
// refused, Short when its reply did not come whole.
struct ProgrammerSerial {
    enum class Answer { NotTaken, Short, Read } answer = Answer::NotTaken;
    std::uint32_t number = 0;
};
ProgrammerSerial readProgrammerSerial(CommandChannel& channel, Link& link, int timeoutMs);
// Six digits, zeros in front, as the firmware box shows it.
std::string serialNumberText(std::uint32_t number);

}  // namespace nyra
