// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/faults.h"
#include "sim/frame.h"
#include "sim/in_queue.h"
#include "sim/socket.h"
#include "sim/timing.h"

namespace nyra::sim {

// Reply bytes beyond the chip data itself. A program, erase or fill that
// fails sends no completion byte at all (see docs/device-protocol.md).
inline constexpr std::uint8_t kReplyFillReady = 0x01;  // block sent, ready for its new contents
inline constexpr std::uint8_t kReplyWriteDone = 0x02;  // program or fill written
inline constexpr std::uint8_t kReplyEraseDone = 0x06;
inline constexpr std::uint8_t kReplyBlank = 15;
inline constexpr std::uint8_t kReplyNotBlank = 16;

// Identity answers that are not chip IDs.
inline constexpr std::uint32_t kStateI2c = 0x000001;
inline constexpr std::uint32_t kStateMicrowire = 0x000002;
inline constexpr std::uint32_t kStateSpd = 0x000003;
inline constexpr std::uint32_t kStateBlocked = 0x000004;
inline constexpr std::uint32_t kStateSpiEeprom = 0x000005;
inline constexpr std::uint32_t kNoAnswerSpi = 0xFFFFFF;  // SPI lines float high
inline constexpr std::uint32_t kNoAnswer = 0x000000;     // nobody acknowledged

inline constexpr std::uint32_t kReadTransferMax = 8192;
inline constexpr std::uint32_t kFillTransferMax = 1024;
inline constexpr std::uint8_t kDefaultFirmwareVersion = 0x21;

// The boot loader's application flash: 512 blocks of 1 KiB.
inline constexpr std::size_t kApplicationFlashBytes = 512 * 1024;
// What the finish answers when it does not take the image (12 when it does).
inline constexpr std::uint8_t kReplyImageRefused = 0xEE;
// What operation 13 answers under the wrong_start_echo fault.
inline constexpr std::uint8_t kReplyWrongStartEcho = 0x00;
// Bytes of a read-back block under the short_readback fault.
inline constexpr std::size_t kShortReadBackBytes = 512;

// Security (OTP) area operations of the extended frames, and their replies.
namespace otp {
using namespace otp_op;
inline constexpr std::uint8_t kReplyDone = otp_reply::kDone;
inline constexpr std::uint8_t kReplyStatus = otp_reply::kStatus;
inline constexpr std::uint8_t kReplyData = otp_reply::kData;
inline constexpr std::uint8_t kReplyMarker = 3;  // byte 1 of a reply
inline constexpr std::size_t kMaxData = 32;      // bytes one read or write moves
// Status value of operation 3.
inline constexpr std::uint8_t kStatusLocked = 0x01;
inline constexpr std::uint8_t kStatusProtected = 0x02;  // deferred range written
}  // namespace otp

// The programmer's firmware: takes frames on the interrupt endpoint and data
// on bulk OUT, drives the chip in the socket, and queues replies on bulk IN
// with the time they are ready. Not thread-safe: the Simulator serialises.
class Firmware {
public:
    Firmware(Socket& socket, const Timing& timing);

    void setSerial(std::uint32_t serial) { serial_ = serial & 0xFFFFFF; }
    std::uint32_t serial() const { return serial_; }
    void setVersion(std::uint8_t version) { version_ = version; }
    std::uint8_t version() const { return version_; }
    void setAdapter(bool fitted) { adapter_ = fitted; }
    bool adapter() const { return adapter_; }
    void setBlocked(bool blocked) { blocked_ = blocked; }
    // The boot-loader faults; the Programmer that owns both outlives this.
    void attachFaults(Faults* faults) { faults_ = faults; }

    // Power lost: sessions and queued replies are gone. The programmer starts
    // its application again, or its boot loader when an upgrade left the
    // application area without a checked image.
    void powerCycle();

    // False when the device refuses the frame: it NAKs it until the host's time-out.
    bool takeFrame(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // When the device takes the next bulk OUT data (it is busy writing before).
    std::int64_t streamReadyUs() const;
    void takeStream(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // Produces the next transfer of a running read when the queue ran dry.
    void refillIn(std::int64_t nowUs);
    InQueue& in() { return in_; }
    const InQueue& in() const { return in_; }

    bool busy(std::int64_t nowUs) const { return busyUntilUs_ > nowUs; }
    bool bootLoader() const { return bootLoader_; }
    // Starts the application at once, whatever the application area holds.
    void leaveBootLoader();
    // True once after command 21 or an accepted leave: the programmer
    // restarts and drops off the bus for a moment.
    bool takeRestartRequest();
    // The boot loader is taking upgrade data on bulk OUT.
    bool bootStreaming() const;
    // "none", "started", "erasing", "streaming", "streamed", "closed", "finished".
    std::string bootStageName() const;
    int lastState() const { return lastState_; }
    // The state indication of the last frame, once.
    std::optional<int> takeStateIndication() { return std::exchange(newState_, std::nullopt); }
    std::string sessionName() const;
    const std::vector<std::array<std::uint8_t, kCommandFrameSize>>& frames() const {
        return frames_;
    }
    const std::deque<std::string>& log() const { return log_; }
    void clearRecords();
    void addNote(std::string line);

private:
    enum class WriteMode { Page, Byte, AaiWord };
    struct WritePlan {
        WriteMode mode = WriteMode::Page;
        std::uint32_t chunk = 256;
        bool fourByte = false;
    };
    struct ReadStream {
        std::uint64_t next = 0;
        std::uint64_t remaining = 0;
        std::uint32_t transfer = kReadTransferMax;
        bool answered = false;
        bool fourByte = false;
        std::optional<std::uint8_t> trailer;
    };
    struct ProgramSession {
        WritePlan plan;
        bool answered = false;
        std::uint64_t address = 0;
        std::uint64_t received = 0;
        std::vector<std::uint8_t> pending;
    };
    struct FillSession {
        WritePlan plan;
        bool answered = false;
        std::uint64_t start = 0;
        std::uint32_t unit = 0;
        std::vector<std::uint8_t> data;
    };

    // One upgrade, from operation 13 on. The stages follow the order in
    // which the program sends the operations.
    struct BootSession {
        enum class Stage { Started, Erasing, Streaming, Streamed, Closed, Finished };
        Stage stage = Stage::Started;
        std::size_t erased = 0;     // blocks erased, in order from block 0
        std::size_t received = 0;   // stream bytes taken
        std::size_t readBack = 0;   // blocks returned by operation 6
        bool overUnerased = false;  // noted once
    };

    void handleCommand(const CommandFrame& frame, std::int64_t nowUs);
    void handleBootLoaderCommand(const CommandFrame& frame, std::int64_t nowUs);

    // boot_loader.cpp
    void handleBootFrame(std::uint8_t operation, std::uint8_t value, std::int64_t nowUs);
    void onBootBlock(std::uint8_t value, std::int64_t nowUs);
    void onBootStage(std::uint8_t operation);
    void onBootReadBack(std::int64_t nowUs);
    void onBootFinish(std::uint8_t value, std::int64_t nowUs);
    void onBootLeave();
    void takeBootStream(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // Why the stored image cannot run, or empty when it can.
    std::string imageProblem(std::uint8_t lastPayloadByte) const;
    std::vector<std::uint8_t>& applicationFlash();
    bool fires(FaultCounter Faults::*fault) { return faults_ && (faults_->*fault).fire(); }

    void onIdentify(const CommandFrame& frame, std::int64_t nowUs);
    bool answers(const CommandFrame& frame) const;
    std::uint32_t probe(const CommandFrame& frame) const;

    // firmware_write.cpp
    void onProgram(const CommandFrame& frame);
    void onEndOfStream(const CommandFrame& frame, std::int64_t nowUs);
    void onErase(const CommandFrame& frame, std::int64_t nowUs);
    void onFillBlock(const CommandFrame& frame);
    void onQuadEnable(const CommandFrame& frame, std::int64_t nowUs);
    WritePlan writePlan(const CommandFrame& frame) const;
    std::uint64_t chipAddress(std::uint64_t address, bool fourByte) const;
    void writeBytes(std::uint64_t address, std::span<const std::uint8_t> data,
                    const WritePlan& plan);
    void writeChunk(std::uint64_t address, std::span<const std::uint8_t> chunk,
                    const WritePlan& plan);
    void commitFill(FillSession& fill);

    // firmware_read.cpp
    void onRead(const CommandFrame& frame, std::uint64_t total);
    void onBlankCheck(const CommandFrame& frame, std::int64_t nowUs);
    void onReadUnit(const CommandFrame& frame, std::int64_t nowUs);

    // firmware_otp.cpp
    bool onOtpFrame(std::span<const std::uint8_t> bytes, bool longFrame, std::int64_t nowUs);
    bool onOtpWrite(std::span<const std::uint8_t> bytes);
    void otpReply(std::uint8_t status, std::span<const std::uint8_t> data, std::int64_t nowUs);

    void endSessions();
    void flushImage();

    std::int64_t startUs(std::int64_t nowUs) const {
        return busyUntilUs_ > nowUs ? busyUntilUs_ : nowUs;
    }
    void occupy(std::int64_t nowUs, std::int64_t durationUs) {
        busyUntilUs_ = startUs(nowUs) + durationUs;
    }
    void reply(std::vector<std::uint8_t> bytes, std::int64_t readyAtUs) {
        in_.push(std::move(bytes), readyAtUs);
    }
    void note(std::string line) { addNote(std::move(line)); }

    Socket& socket_;
    const Timing& timing_;
    InQueue in_;
    std::uint32_t serial_ = 100001;
    std::uint8_t version_ = kDefaultFirmwareVersion;
    bool adapter_ = false;
    bool blocked_ = false;
    bool bootLoader_ = false;
    bool restartRequested_ = false;
    bool applicationValid_ = true;
    std::optional<BootSession> boot_;
    // Allocated at the first erase; before it, the old application (0x00 here).
    std::vector<std::uint8_t> applicationFlash_;
    Faults* faults_ = nullptr;
    int lastState_ = -1;
    std::optional<int> newState_;
    std::int64_t busyUntilUs_ = 0;
    std::int64_t nowUs_ = 0;  // time of the frame or data being handled
    std::optional<ReadStream> read_;
    std::optional<ProgramSession> program_;
    std::optional<FillSession> fill_;
    // Socket insertion whose chip took the OTP parameters (0: none yet).
    std::uint64_t otpParametersFor_ = 0;
    bool otpAccess_ = false;  // between operations 5 and 6
    std::vector<std::array<std::uint8_t, kCommandFrameSize>> frames_;
    std::deque<std::string> log_;
};

}  // namespace nyra::sim
