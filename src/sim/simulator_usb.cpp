// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb 0.1 calls of the simulated bus and its programmers.
#include <algorithm>

#include "sim/simulator_state.h"

namespace nyra::sim {

void Simulator::usbInit() {
    Guard g(*state_);
    state_->record({UsbCall::Init, -1, 0, 0, 0, 0, {}, state_->time.nowMs()});
}

int Simulator::usbFindBusses() {
    Guard g(*state_);
    const int changes = state_->topology.findBusses();
    state_->record({UsbCall::FindBusses, -1, 0, 0, 0, changes, {}, state_->time.nowMs()});
    return changes;
}

int Simulator::usbFindDevices() {
    Guard g(*state_);
    std::array<UsbTopology::Attached, kTopologySlots> attached{};
    for (int i = 0; i < kMaxProgrammers; ++i) {
        const Programmer& p = *state_->slot(i);
        attached[static_cast<std::size_t>(i)] = {p.plugged, p.devnum};
    }
    const int changes = state_->topology.findDevices(attached);
    state_->record({UsbCall::FindDevices, -1, 0, 0, 0, changes, {}, state_->time.nowMs()});
    return changes;
}

usb_bus* Simulator::usbGetBusses() {
    Guard g(*state_);
    usb_bus* busses = state_->topology.busses();
    state_->record({UsbCall::GetBusses, -1, 0, 0, 0, busses ? 1 : 0, {}, state_->time.nowMs()});
    return busses;
}

usb_bus* Simulator::busList() {
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->topology.busses();
}

usb_dev_handle* Simulator::usbOpen(struct usb_device* dev) {
    Guard g(*state_);
    State& s = *state_;
    const int slot = s.topology.slotOf(dev);
    TransferRecord rec{UsbCall::Open, slot >= 0 ? slot : -1, 0, 0, 0, 0, {}, 0};
    auto finish = [&](int result, usb_dev_handle* handle) {
        rec.result = result;
        rec.timeMs = s.time.nowMs();
        s.record(std::move(rec));
        return handle;
    };
    if (slot == kRootHub)
        return finish(-EACCES, nullptr);  // as for a user without rights
    if (slot < 0)
        return finish(kErrInvalid, nullptr);
    Programmer& p = *s.slot(slot);
    // A record from a scan before the last unplug no longer names a device.
    if (!p.plugged || s.topology.listedDevnum(slot) != p.devnum) {
        return finish(kErrNoDevice, nullptr);
    }
    if (p.faults.openFails.fire())
        return finish(kErrIo, nullptr);
    const std::uint64_t id = s.nextHandle++;
    s.handles[id] = Handle{slot, p.generation, false};
    return finish(0, handleFromId(id));
}

int Simulator::usbSetConfiguration(usb_dev_handle* handle, int configuration) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::SetConfiguration, -1, 0, configuration, 0, 0, {}, 0};
    Programmer* p = nullptr;
    Handle* h = nullptr;
    int result = s.resolve(handle, p, h, rec.programmer);
    if (result == 0) {
        if (p->faults.configurationFails.fire()) {
            result = kErrPipe;
        } else if (configuration != kProgrammerConfiguration) {
            result = kErrInvalid;
        }
    }
    rec.result = result;
    rec.timeMs = s.time.nowMs();
    s.record(std::move(rec));
    return result;
}

int Simulator::usbClaimInterface(usb_dev_handle* handle, int interface) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::ClaimInterface, -1, 0, interface, 0, 0, {}, 0};
    Programmer* p = nullptr;
    Handle* h = nullptr;
    int result = s.resolve(handle, p, h, rec.programmer);
    if (result == 0) {
        const bool claimedElsewhere =
            std::any_of(s.handles.begin(), s.handles.end(), [&](const auto& entry) {
                const Handle& other = entry.second;
                return &other != h && other.claimed && other.slot == h->slot &&
                       other.generation == h->generation;
            });
        if (p->faults.claimFails.fire() || claimedElsewhere) {
            result = kErrBusy;
        } else if (interface != kProgrammerInterface) {
            result = kErrInvalid;
        } else {
            h->claimed = true;
        }
    }
    rec.result = result;
    rec.timeMs = s.time.nowMs();
    s.record(std::move(rec));
    return result;
}

int Simulator::usbReleaseInterface(usb_dev_handle* handle, int interface) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::ReleaseInterface, -1, 0, interface, 0, 0, {}, 0};
    Programmer* p = nullptr;
    Handle* h = nullptr;
    int result = s.resolve(handle, p, h, rec.programmer);
    if (result == kErrNoDevice && h)
        h->claimed = false;
    if (result == 0) {
        if (interface != kProgrammerInterface || !h->claimed) {
            result = kErrInvalid;
        } else {
            h->claimed = false;
        }
    }
    rec.result = result;
    rec.timeMs = s.time.nowMs();
    s.record(std::move(rec));
    return result;
}

int Simulator::usbClose(usb_dev_handle* handle) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::Close, -1, 0, 0, 0, 0, {}, 0};
    const auto it = s.handles.find(idFromHandle(handle));
    if (it == s.handles.end()) {
        rec.result = kErrInvalid;
    } else {
        rec.programmer = it->second.slot;
        s.handles.erase(it);
    }
    rec.timeMs = s.time.nowMs();
    const int result = rec.result;
    s.record(std::move(rec));
    return result;
}

int Simulator::usbBulkWrite(usb_dev_handle* handle, int ep, const char* bytes, int size,
                            int timeout) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::BulkWrite, -1, ep, size, timeout, 0, {}, 0};
    auto finish = [&](int result) { return s.finish(std::move(rec), result); };
    Programmer* p = nullptr;
    Handle* h = nullptr;
    if (const int err = s.resolve(handle, p, h, rec.programmer))
        return finish(err);
    if (ep != kStreamEndpoint || size < 0 || (size > 0 && !bytes))
        return finish(kErrInvalid);
    if (size == 0)
        return finish(0);
    // The device takes new data only when it finished writing the last.
    const std::int64_t deadline = s.time.nowMs() + waitBudgetMs(timeout);
    for (;;) {
        const std::int64_t readyUs = p->firmware.streamReadyUs();
        if (readyUs <= s.nowUs())
            break;
        const std::int64_t now = s.time.nowMs();
        if (now >= deadline)
            return finish(kErrTimeout);
        s.nap(g.lock(), std::min(deadline - now, (readyUs + 999) / 1000 - now));
        if (const int err = s.resolve(handle, p, h, rec.programmer))
            return finish(err);
    }
    if (p->firmware.bootStreaming() && p->faults.streamWriteFails.fire()) {
        p->firmware.addNote("upgrade chunk of " + std::to_string(size) +
                            " bytes failed (fault stream_write_fails)");
        return finish(kErrIo);
    }
    const auto wanted = static_cast<std::size_t>(size);
    const std::size_t allowed = s.allowance(*p, wanted);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes);
    rec.data = head(bytes, allowed);
    p->firmware.takeStream(std::span(data, allowed), s.nowUs());
    s.spend(rec.programmer, allowed);
    return finish(allowed < wanted ? kErrNoDevice : size);
}

int Simulator::usbBulkRead(usb_dev_handle* handle, int ep, char* bytes, int size, int timeout) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::BulkRead, -1, ep, size, timeout, 0, {}, 0};
    auto finish = [&](int result) { return s.finish(std::move(rec), result); };
    Programmer* p = nullptr;
    Handle* h = nullptr;
    if (const int err = s.resolve(handle, p, h, rec.programmer))
        return finish(err);
    // libusb 0.1 sets the direction bit itself: endpoint 3 and 0x83 are the same.
    if ((ep | USB_ENDPOINT_IN) != kReplyEndpoint || size < 0 || (size > 0 && !bytes)) {
        return finish(kErrInvalid);
    }
    if (size == 0)
        return finish(0);
    if (p->faults.failedReads.fire() || p->faults.flakyRead())
        return finish(kErrIo);
    const bool stalled = p->faults.stalls.fire();
    const std::int64_t deadline = s.time.nowMs() + waitBudgetMs(timeout);
    for (;;) {
        std::optional<std::int64_t> readyUs;
        if (!stalled) {
            p->firmware.refillIn(s.nowUs());
            readyUs = p->firmware.in().frontReadyUs();
            if (readyUs && *readyUs <= s.nowUs())
                break;
        }
        const std::int64_t now = s.time.nowMs();
        if (now >= deadline)
            return finish(kErrTimeout);
        std::int64_t wake = deadline;
        if (readyUs)
            wake = std::min(wake, (*readyUs + 999) / 1000);
        s.nap(g.lock(), wake - now);
        if (const int err = s.resolve(handle, p, h, rec.programmer))
            return finish(err);
    }
    std::size_t wanted =
        std::min(static_cast<std::size_t>(size), p->firmware.in().frontRemaining());
    // Half of what it could, but never nothing: a read that returns 0 bytes is no short read.
    if (p->faults.shortReads.fire())
        wanted = std::max<std::size_t>(1, wanted / 2);
    const std::size_t allowed = s.allowance(*p, wanted);
    if (allowed < wanted) {
        s.spend(rec.programmer, allowed);
        return finish(kErrNoDevice);
    }
    auto* out = reinterpret_cast<std::uint8_t*>(bytes);
    const std::size_t n = p->firmware.in().take(std::span(out, wanted));
    rec.data = head(out, n);
    s.spend(rec.programmer, n);
    return finish(static_cast<int>(n));
}

int Simulator::usbInterruptWrite(usb_dev_handle* handle, int ep, const char* bytes, int size,
                                 int timeout) {
    Guard g(*state_);
    State& s = *state_;
    TransferRecord rec{UsbCall::InterruptWrite, -1, ep, size, timeout, 0, {}, 0};
    auto finish = [&](int result) { return s.finish(std::move(rec), result); };
    Programmer* p = nullptr;
    Handle* h = nullptr;
    if (const int err = s.resolve(handle, p, h, rec.programmer))
        return finish(err);
    if (ep != kFrameEndpoint || size < 0 || (size > 0 && !bytes))
        return finish(kErrInvalid);
    const std::span frame(reinterpret_cast<const std::uint8_t*>(bytes),
                          static_cast<std::size_t>(size));
    rec.data = head(bytes, frame.size());
    // Refused: the device NAKs the frame until the time-out.
    auto nak = [&] {
        const std::int64_t deadline = s.time.nowMs() + waitBudgetMs(timeout);
        for (std::int64_t now = s.time.nowMs(); now < deadline; now = s.time.nowMs()) {
            s.nap(g.lock(), deadline - now);
            if (const int err = s.resolve(handle, p, h, rec.programmer))
                return finish(err);
        }
        return finish(kErrTimeout);
    };
    const FrameKind kind = classifyFrame(frame);
    if (kind == FrameKind::Command) {
        const auto it = p->faults.refuse.find(static_cast<std::uint8_t>(frame[1] & 0x3F));
        if (it != p->faults.refuse.end() && it->second.fire()) {
            if (!it->second.armed())
                p->faults.refuse.erase(it);
            return nak();
        }
    }
    const bool otpFrame = kind == FrameKind::OtpShort || kind == FrameKind::OtpLong;
    if (otpFrame && p->faults.otpRefuse.fire()) {
        p->firmware.addNote("OTP frame refused (fault otp_refuse)");
        return nak();
    }
    if (!p->firmware.takeFrame(frame, s.nowUs()))
        return nak();
    if (const auto state = p->firmware.takeStateIndication())
        s.noteState(rec.programmer, *state);
    if (p->firmware.takeRestartRequest())
        s.reenumerate(rec.programmer);
    return finish(size);
}

}  // namespace nyra::sim
