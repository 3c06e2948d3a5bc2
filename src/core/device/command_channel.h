#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "device/frames.h"
#include "device/link.h"

namespace nyra {

// Command codes of the 20-byte frame.
namespace cmd {
inline constexpr std::uint8_t kCarryParameters = 0;
inline constexpr std::uint8_t kProgramStart = 1;
inline constexpr std::uint8_t kStreamEnd = 2;
inline constexpr std::uint8_t kErase = 5;
inline constexpr std::uint8_t kReadIdentity = 7;
inline constexpr std::uint8_t kVerifyRead = 8;
inline constexpr std::uint8_t kEndOfOperation = 9;
inline constexpr std::uint8_t kRead = 13;
inline constexpr std::uint8_t kBlankCheck = 15;
inline constexpr std::uint8_t kReadUnit = 17;
inline constexpr std::uint8_t kFirmwareVersion = 18;
inline constexpr std::uint8_t kFillBlock = 19;
inline constexpr std::uint8_t kEnterUpgrade = 21;
inline constexpr std::uint8_t kSerialNumber = 22;
inline constexpr std::uint8_t kBetweenSteps = 25;
inline constexpr std::uint8_t kAdapterQuery = 32;
inline constexpr std::uint8_t kStateIndication = 34;
inline constexpr std::uint8_t kQuadEnable = 35;
}  // namespace cmd

// Programmer states carried by command 34.
namespace state {
inline constexpr std::uint8_t kNeutral = 0;
inline constexpr std::uint8_t kRunning = 1;
inline constexpr std::uint8_t kFailed = 2;
inline constexpr std::uint8_t kSucceeded = 3;
}  // namespace state

// Runs a change on the persistent command frame under whatever lock guards it.
using FrameAccess = std::function<void(const std::function<void(CommandFrame&)>&)>;

// The frame senders on top of the link. The command frame is the persistent
// chip parameter block of the main window.
class CommandChannel {
public:
    // A frame that only this channel's thread uses.
    CommandChannel(Link& link, CommandFrame& parameterBlock);
    // A frame shared with other threads, reached through its lock.
    CommandChannel(Link& link, FrameAccess access);

    bool sendCommand(std::uint8_t code, int timeoutMs, std::span<const std::uint8_t> argument = {});
    void stateIndication(std::uint8_t state);
    bool sendShortFrame(std::uint8_t operation, int timeoutMs, std::uint8_t value);
    bool sendExtendedShort(std::uint8_t operation, std::span<const std::uint8_t> argument,
                           int timeoutMs);
    bool sendExtendedLong(std::uint8_t operation, std::span<const std::uint8_t> argument,
                          int timeoutMs);
    // Reads one 45-byte reply; returns the library's result.
    int readExtendedReply(std::uint8_t* buffer, int timeoutMs);

    Link& link() { return link_; }

private:
    Link& link_;
    FrameAccess access_;
};

}  // namespace nyra
