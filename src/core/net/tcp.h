// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The few TCP steps the mail client and the HTTP fetch share, on POSIX
// sockets, each bounded by a time-out so that a silent peer cannot hold a
// thread for ever.
namespace nyra::tcp {

using Deadline = std::chrono::steady_clock::time_point;

// The first IPv4 address of a host name (or a literal address), in network
// byte order.
std::optional<std::uint32_t> resolveIpv4(const std::string& name);

enum class ConnectResult : unsigned char { Connected, NoSocket, Refused };

// A connected blocking socket in fd, or why not. The connect itself is
// bounded by timeout; sends are bounded by it too.
ConnectResult connectIpv4(std::uint32_t address, std::uint16_t port,
                          std::chrono::milliseconds timeout, int& fd);

// Sends everything; false when the peer is gone or the socket failed.
bool sendAll(int fd, std::string_view data);

enum class ReceiveResult : unsigned char { Data, Closed, Failed, TimedOut };

// Waits until deadline for bytes and appends what one receive gives, at
// most maxBytes.
ReceiveResult receiveSome(int fd, std::string& into, std::size_t maxBytes, Deadline deadline);

// Closes fd when open and marks it closed.
void closeSocket(int& fd);

// The system's text for the last failure, as a single line.
std::string lastErrorText();

}  // namespace nyra::tcp
