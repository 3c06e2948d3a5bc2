// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/otp_channel.h"

#include <algorithm>

namespace nyra {

namespace {

constexpr int kShortSendTimeoutMs = 100;
constexpr int kLongSendTimeoutMs = 2000;
constexpr int kReadReplyTimeoutMs = 1000;
constexpr int kReplyTimeoutMs = 500;

std::array<std::uint8_t, 4> addressAndLength(std::uint16_t address, std::uint16_t length) {
    return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
}

}  // namespace

std::optional<OtpChannel::Reply> OtpChannel::exchange(std::uint8_t operation,
                                                      std::span<const std::uint8_t> argument,
                                                      std::uint8_t status, int readTimeoutMs) {
    if (!channel_.sendExtendedShort(operation, argument, kShortSendTimeoutMs))
        return std::nullopt;
    // A fresh buffer: a short read must never pass on an older reply's bytes.
    std::array<std::uint8_t, kExtendedReplyRoom> room{};
    if (channel_.readExtendedReply(room, readTimeoutMs) != static_cast<int>(kExtendedReplySize) ||
        !isValidExtendedReply(std::span(room).first(kExtendedReplySize), status))
        return std::nullopt;
    Reply reply{};
    std::copy_n(room.begin(), kExtendedReplySize, reply.begin());
    return reply;
}

bool OtpChannel::sendParameters(const std::array<std::uint8_t, 9>& parameters) {
    return channel_.sendExtendedShort(otp_op::kParameters, parameters, kShortSendTimeoutMs);
}

std::optional<std::vector<std::uint8_t>> OtpChannel::read(std::uint16_t address,
                                                          std::uint16_t length) {
    length = std::min<std::uint16_t>(length, kOtpStep);
    const auto argument = addressAndLength(address, length);
    const auto reply = exchange(otp_op::kRead, argument, otp_reply::kData, kReadReplyTimeoutMs);
    if (!reply)
        return std::nullopt;
    return std::vector<std::uint8_t>(reply->begin() + 3, reply->begin() + 3 + length);
}

std::optional<OtpStatus> OtpChannel::status() {
    const auto reply = exchange(otp_op::kStatus, {}, otp_reply::kStatus, kReplyTimeoutMs);
    if (!reply)
        return std::nullopt;
    return OtpStatus{(*reply)[3], (*reply)[4]};
}

bool OtpChannel::lock() {
    return exchange(otp_op::kLock, {}, otp_reply::kDone, kReplyTimeoutMs).has_value();
}

bool OtpChannel::begin() {
    return exchange(otp_op::kBegin, {}, otp_reply::kDone, kReplyTimeoutMs).has_value();
}

bool OtpChannel::end() {
    return exchange(otp_op::kEnd, {}, otp_reply::kDone, kReplyTimeoutMs).has_value();
}

bool OtpChannel::write(std::uint16_t address, std::span<const std::uint8_t> data) {
    const auto length = static_cast<std::uint16_t>(std::min(data.size(), kOtpStep));
    std::array<std::uint8_t, 4 + kOtpStep> argument{};
    const auto head = addressAndLength(address, length);
    std::copy(head.begin(), head.end(), argument.begin());
    std::copy_n(data.begin(), length, argument.begin() + 4);
    return channel_.sendExtendedLong(otp_op::kWrite, std::span(argument).first(4u + length),
                                     kLongSendTimeoutMs);
}

}  // namespace nyra
