// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <usb.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/chip_model.h"
#include "sim/faults.h"
#include "sim/feeder.h"
#include "sim/frame.h"
#include "sim/time_source.h"

namespace nyra::sim {

inline constexpr int kMaxProgrammers = 8;

// Results of the libusb 0.1 calls, as the Linux library reports them.
inline constexpr int kErrIo = -EIO;
inline constexpr int kErrInvalid = -EINVAL;
inline constexpr int kErrNoDevice = -ENODEV;
inline constexpr int kErrBusy = -EBUSY;
inline constexpr int kErrPipe = -EPIPE;
inline constexpr int kErrTimeout = -ETIMEDOUT;

// A time-out of 0 (or less) means "no time-out" to libusb 0.1; the simulator
// still never waits longer than this.
inline constexpr int kNoTimeoutCapMs = 60000;
// Bytes of each transfer kept in the transfer log.
inline constexpr std::size_t kLogDataLimit = 64;

enum class UsbCall {
    Init,
    FindBusses,
    FindDevices,
    GetBusses,
    Open,
    SetConfiguration,
    ClaimInterface,
    ReleaseInterface,
    Close,
    BulkWrite,
    BulkRead,
    InterruptWrite,
};
std::string_view usbCallName(UsbCall call);

// One libusb call as the simulated device saw it.
struct TransferRecord {
    UsbCall call = UsbCall::Init;
    int programmer = -1;  // slot, or -1 for calls on the bus
    int endpoint = 0;
    int size = 0;     // bytes asked for; the value for set_configuration/claim/release
    int timeout = 0;  // as passed
    int result = 0;   // bytes moved, or the negative error
    std::vector<std::uint8_t> data;  // first bytes moved (at most kLogDataLimit)
    std::int64_t timeMs = 0;         // time source reading at the end of the call
};
inline constexpr int kAllRecords = -2;

enum class SimEventKind { Plugged, Unplugged, ChipChanged };
struct SimEvent {
    SimEventKind kind = SimEventKind::Plugged;
    int programmer = 0;
};

struct ProgrammerStatus {
    bool plugged = false;
    bool reenumerating = false;  // off the bus after a restart (for good under no_reenumeration)
    std::uint32_t serial = 0;
    std::uint8_t firmwareVersion = 0;
    bool adapter = false;
    bool bootLoader = false;
    std::string bootStage;  // Firmware::bootStageName()
    bool busy = false;
    std::string session;  // "none", "reading", "programming", "filling"
    std::optional<ChipModel> chip;
    std::string image;
    int lastState = -1;  // last state indication, -1 before the first
    std::size_t queuedInBytes = 0;
    Faults faults;
    FeederSettings feeder;
    std::size_t chipsTaken = 0;  // by the feeder
};

struct SimulatorOptions {
    int programmers = 1;            // plugged at start, 0..kMaxProgrammers
    std::optional<ChipModel> chip;  // in every socket at start; none: empty
    std::string image;              // image file of the first socket; empty: memory only
    double timingFactor = 0.0;      // 0: instant device, 1: realistic
    bool adapter = false;
    TimeSource* time = nullptr;        // nullptr: real time
    std::size_t logCapacity = 100000;  // transfer records kept (oldest dropped)
};

// The common case: n programmers plugged, the named built-in chip (or a
// generic description; empty or unknown: empty sockets) in every socket.
SimulatorOptions simulatorOptions(int programmers, std::string_view chip,
                                  TimeSource* time = nullptr, double timingFactor = 0.0);

// The programmer(s) on a simulated USB bus. All members are thread-safe; the
// blocking calls release the lock while they wait on the time source.
class Simulator {
public:
    explicit Simulator(const SimulatorOptions& options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    TimeSource& timeSource();

    // Bus. Programmers are numbered from 0; bus order follows the number.
    bool plug(int programmer);
    bool unplug(int programmer);
    bool plugged(int programmer) const;

    // Socket. insertChip fails on an occupied socket; swapChip replaces.
    bool insertChip(int programmer, const ChipModel& model, const std::string& image = {},
                    std::string* error = nullptr);
    bool swapChip(int programmer, const ChipModel& model, const std::string& image = {},
                  std::string* error = nullptr);
    bool removeChip(int programmer);
    std::optional<ChipModel> chip(int programmer) const;
    std::vector<std::uint8_t> chipContents(int programmer) const;
    bool loadChipContents(int programmer, std::span<const std::uint8_t> bytes);
    std::uint16_t chipStatusRegister(int programmer) const;
    // The security area of the chip in the socket, from its first address;
    // empty without a chip or an area.
    std::vector<std::uint8_t> otpContents(int programmer) const;
    bool otpLocked(int programmer) const;
    // Presets the first bytes of the area as they are (test set-up).
    bool loadOtpContents(int programmer, std::span<const std::uint8_t> bytes);
    // Locks the area for ever; false without an area or a lock.
    bool lockOtp(int programmer);
    bool flushImages(std::string* error = nullptr);

    // Device settings.
    void setTimingFactor(double factor);
    double timingFactor() const;
    bool setAdapter(int programmer, bool fitted);
    bool setSerial(int programmer, std::uint32_t serial);
    bool setFirmwareVersion(int programmer, std::uint8_t version);
    // Reads no clock: safe while the program exits.
    std::uint8_t firmwareVersion(int programmer) const;
    // Starts the application at once (a tester's shortcut, no re-enumeration).
    bool leaveBootLoader(int programmer);

    // Faults.
    bool setFaults(int programmer, const Faults& faults);
    Faults faults(int programmer) const;
    bool setFault(int programmer, std::string_view name, std::string_view value,
                  std::string* error = nullptr);

    // The production-line feeder (sim/feeder.h).
    bool setFeederSettings(int programmer, const FeederSettings& settings);
    bool setFeederSetting(int programmer, std::string_view name, std::string_view value,
                          std::string* error = nullptr);
    // The chips the feeder took out, oldest first.
    std::vector<TakenChip> takenChips(int programmer) const;

    // Observation.
    std::vector<TransferRecord> transferLog(int programmer = kAllRecords) const;
    void clearTransferLog();
    std::vector<std::array<std::uint8_t, kCommandFrameSize>> frames(int programmer) const;
    std::vector<std::string> firmwareLog(int programmer) const;
    void clearFrames(int programmer);
    ProgrammerStatus status(int programmer) const;
    // Puts bytes on the bulk IN endpoint as if the device had left them there.
    bool injectIn(int programmer, std::vector<std::uint8_t> bytes);
    std::size_t queuedInBytes(int programmer) const;

    // Called after plug, unplug and chip changes, outside the lock.
    void setEventListener(std::function<void(const SimEvent&)> listener);

    // libusb 0.1 entry points; reached through nyra::sim::usb (usb_binding.h)
    // or rwb_mod.so.
    void usbInit();
    int usbFindBusses();
    int usbFindDevices();
    usb_bus* usbGetBusses();
    usb_dev_handle* usbOpen(struct usb_device* dev);
    int usbSetConfiguration(usb_dev_handle* handle, int configuration);
    int usbClaimInterface(usb_dev_handle* handle, int interface);
    int usbReleaseInterface(usb_dev_handle* handle, int interface);
    int usbClose(usb_dev_handle* handle);
    int usbBulkWrite(usb_dev_handle* handle, int ep, const char* bytes, int size, int timeout);
    int usbBulkRead(usb_dev_handle* handle, int ep, char* bytes, int size, int timeout);
    int usbInterruptWrite(usb_dev_handle* handle, int ep, const char* bytes, int size, int timeout);
    // The bus list as the last scan left it, without a log record.
    usb_bus* busList();

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace nyra::sim
