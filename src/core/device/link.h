// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/text_key.h"
#include "device/transfer_gate.h"
#include "device/usb_api.h"

namespace nyra {

// Results of Ensure link and Link check: go on, or stop (already reported).
inline constexpr int kLinkGoOn = -1;
inline constexpr int kLinkStop = -2;

inline constexpr int kDefaultTimeoutMs = 500;  // what a time-out of 0 stands for
inline constexpr std::size_t kTransferBufferSize = 12288;
inline constexpr std::size_t kReplyOffset = 4096;        // replies land here in the transfer buffer
inline constexpr int kLinkFailureGreyedCommand = 32804;  // greyed whenever the link fails

// What the link needs from the main window: its status line, message boxes,
// the menu, and two flags of the shared state.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    virtual void statusAlert(TextKey text) = 0;  // alert on the status line, no beep
    virtual void warningBox(TextKey text) = 0;   // caption itext 9, warning icon
    virtual void greyMenuCommand(int commandId) = 0;
    virtual bool programmerBlocked() const = 0;
    virtual bool deviceChangePending() const = 0;
};

struct DeviceIdentity {
    unsigned short vendorId = kProgrammerVendorId;
    unsigned short productId = kProgrammerProductId;
    int interfaceNumber = kProgrammerInterface;
    int dataEndpoint = kStreamEndpoint;
};

// Finding, opening and claiming the programmer, and the three transfer
// primitives every exchange rests on. The link is re-opened before and after
// every job, so no handle is cached across jobs.
//
// The worker uses the link during jobs and the window thread in the close
// handler; every operation holds the transfer gate, so a handle is never
// closed or replaced while another thread is inside a transfer on it.
class Link {
public:
    Link(const UsbApi& api, LinkHost& host);
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Uses only the programmer at busPath ("001/005", as busPathOf gives it)
    // instead of the first one found; "" goes back to the first. When that
    // programmer leaves the bus and exactly one new one appears (it restarted,
    // as after entering its boot loader), the link follows it there.
    void pin(const std::string& busPath);
    std::string pinnedPath() const;

    void resetIdentity();
    bool devicePresent();
    usb_dev_handle* openDevice(unsigned short vendorId, unsigned short productId);
    bool claim(usb_dev_handle* handle, int configuration, int interfaceNumber);
    bool releaseAndClose(usb_dev_handle* handle, int interfaceNumber);

    bool connect(bool showMessage);
    // Resets the identity, opens the programmer and claims its interface.
    void openAndClaim();
    int ensureLink() { return reopen(true); }
    int linkCheck() { return reopen(false); }

    bool sendFrame(int endpoint, const std::uint8_t* bytes, int length, int timeoutMs);
    int readReply(std::uint8_t* buffer, int length, int timeoutMs);
    int writeStreamChunk(const std::uint8_t* buffer, int length, int timeoutMs);

    // A read that failed or timed out, or a transfer a job gave up on, may
    // leave the programmer's answer queued on the IN endpoint, where the next
    // exchange would take it for its own.
    void markUnsettled() { unsettled_.store(true); }
    bool unsettled() const { return unsettled_.load(); }
    // Reads and drops what the IN endpoint holds until a read stays empty,
    // so that the next command starts on a clean link.
    void drainUntilQuiet();

    // For the window thread: exclusive use of the link, waiting at most bound
    // for a transfer in progress. Operations made while it is held do not wait.
    TransferGate::Hold holdWithin(std::chrono::milliseconds bound) {
        return TransferGate::Hold(gate_, bound);
    }
    // Release and close of the current handle when the interface is claimed,
    // waiting at most bound; false when the link stayed busy and was left alone.
    bool releaseAndCloseWithin(std::chrono::milliseconds bound);

    bool connected() const { return connected_.load(); }
    usb_dev_handle* handle() const { return handle_.load(); }
    DeviceIdentity identity() const;
    std::array<std::uint8_t, kTransferBufferSize>& transferBuffer() { return transfer_; }

private:
    int reopen(bool withMessages);
    std::optional<TextKey> reopenFailure();

    void rescan();
    // The programmer the link uses, from the last scan; nullptr when absent.
    struct usb_device* findProgrammer(unsigned short vendorId, unsigned short productId);
    static int effectiveTimeout(int timeoutMs) {
        return timeoutMs == 0 ? kDefaultTimeoutMs : timeoutMs;
    }

    const UsbApi& api_;
    LinkHost& host_;
    TransferGate gate_;
    mutable std::mutex identityMutex_;
    DeviceIdentity identity_;
    // Under identityMutex_: the pinned programmer, and the programmers on the
    // bus when it was last seen.
    std::string pinned_;
    std::vector<std::string> knownPaths_;
    std::atomic<usb_dev_handle*> handle_{nullptr};
    std::atomic<bool> connected_{false};
    std::atomic<bool> unsettled_{false};
    std::array<std::uint8_t, kTransferBufferSize> transfer_{};
};

// A device's place on the bus: "<bus directory>/<device file>".
std::string busPathOf(const struct usb_bus* bus, const struct usb_device* dev);
// The programmers on the bus, in bus order, as paths (rescans first).
std::vector<std::string> programmerPaths(const UsbApi& api);

}  // namespace nyra
