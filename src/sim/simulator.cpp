// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulator.h"

#include "sim/simulator_state.h"

namespace nyra::sim {

std::string_view usbCallName(UsbCall call) {
    switch (call) {
        case UsbCall::Init:
            return "usb_init";
        case UsbCall::FindBusses:
            return "usb_find_busses";
        case UsbCall::FindDevices:
            return "usb_find_devices";
        case UsbCall::GetBusses:
            return "usb_get_busses";
        case UsbCall::Open:
            return "usb_open";
        case UsbCall::SetConfiguration:
            return "usb_set_configuration";
        case UsbCall::ClaimInterface:
            return "usb_claim_interface";
        case UsbCall::ReleaseInterface:
            return "usb_release_interface";
        case UsbCall::Close:
            return "usb_close";
        case UsbCall::BulkWrite:
            return "usb_bulk_write";
        case UsbCall::BulkRead:
            return "usb_bulk_read";
        case UsbCall::InterruptWrite:
            return "usb_interrupt_write";
    }
    return "?";
}

SimulatorOptions simulatorOptions(int programmers, std::string_view chip, TimeSource* time,
                                  double timingFactor) {
    SimulatorOptions options;
    options.programmers = programmers;
    options.chip = parseChipDescription(chip, nullptr);
    options.time = time;
    options.timingFactor = timingFactor;
    return options;
}

Simulator::Simulator(const SimulatorOptions& options) : state_(std::make_unique<State>(options)) {}

Simulator::~Simulator() = default;

TimeSource& Simulator::timeSource() {
    return state_->time;
}

bool Simulator::plug(int programmer) {
    Guard g(*state_);
    return state_->plug(programmer);
}

bool Simulator::unplug(int programmer) {
    Guard g(*state_);
    return state_->unplug(programmer);
}

bool Simulator::plugged(int programmer) const {
    Guard g(*state_);
    const Programmer* p = state_->slot(programmer);
    return p && p->plugged;
}

bool Simulator::insertChip(int programmer, const ChipModel& model, const std::string& image,
                           std::string* error) {
    Guard g(*state_);
    const Programmer* p = state_->slot(programmer);
    if (p && !p->socket.empty()) {
        if (error)
            *error = "the socket is occupied; remove or swap the chip";
        return false;
    }
    return state_->putChip(programmer, model, image, error);
}

bool Simulator::swapChip(int programmer, const ChipModel& model, const std::string& image,
                         std::string* error) {
    Guard g(*state_);
    return state_->putChip(programmer, model, image, error);
}

bool Simulator::removeChip(int programmer) {
    Guard g(*state_);
    Programmer* p = state_->slot(programmer);
    if (!p || p->socket.empty())
        return false;
    p->socket.remove();
    state_->pendingEvents.push_back({SimEventKind::ChipChanged, programmer});
    return true;
}

std::optional<ChipModel> Simulator::chip(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    if (!p || p->socket.empty())
        return std::nullopt;
    return p->socket.chip()->model();
}

std::vector<std::uint8_t> Simulator::chipContents(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    if (!p || p->socket.empty())
        return {};
    const auto bytes = p->socket.chip()->contents();
    return {bytes.begin(), bytes.end()};
}

bool Simulator::loadChipContents(int programmer, std::span<const std::uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p || p->socket.empty())
        return false;
    p->socket.chip()->load(bytes);
    return true;
}

std::uint16_t Simulator::chipStatusRegister(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    return (p && !p->socket.empty()) ? p->socket.chip()->statusRegister() : 0;
}

std::vector<std::uint8_t> Simulator::otpContents(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    const OtpArea* area = (p && !p->socket.empty()) ? p->socket.chip()->otp() : nullptr;
    if (!area)
        return {};
    return {area->bytes().begin(), area->bytes().end()};
}

bool Simulator::otpLocked(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    const OtpArea* area = (p && !p->socket.empty()) ? p->socket.chip()->otp() : nullptr;
    return area && area->locked();
}

bool Simulator::loadOtpContents(int programmer, std::span<const std::uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    OtpArea* area = (p && !p->socket.empty()) ? p->socket.chip()->otp() : nullptr;
    if (!area)
        return false;
    area->load(bytes);
    return true;
}

bool Simulator::lockOtp(int programmer) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    OtpArea* area = (p && !p->socket.empty()) ? p->socket.chip()->otp() : nullptr;
    return area && area->lock();
}

bool Simulator::flushImages(std::string* error) {
    std::lock_guard<std::mutex> lock(state_->mu);
    bool ok = true;
    for (auto& p : state_->slots)
        ok = p->socket.flush(error) && ok;
    return ok;
}

void Simulator::setTimingFactor(double factor) {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->timing.setFactor(factor);
}

double Simulator::timingFactor() const {
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->timing.factor();
}

bool Simulator::setAdapter(int programmer, bool fitted) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->firmware.setAdapter(fitted);
    return true;
}

bool Simulator::setSerial(int programmer, std::uint32_t serial) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->firmware.setSerial(serial);
    return true;
}

bool Simulator::setFirmwareVersion(int programmer, std::uint8_t version) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->firmware.setVersion(version);
    return true;
}

std::uint8_t Simulator::firmwareVersion(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    return p ? p->firmware.version() : 0;
}

bool Simulator::leaveBootLoader(int programmer) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->firmware.leaveBootLoader();
    return true;
}

bool Simulator::setFaults(int programmer, const Faults& faults) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->faults = faults;
    p->firmware.setBlocked(faults.blocked);
    return true;
}

Faults Simulator::faults(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    return p ? p->faults : Faults{};
}

bool Simulator::setFault(int programmer, std::string_view name, std::string_view value,
                         std::string* error) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p) {
        if (error)
            *error = "no such programmer";
        return false;
    }
    Faults updated = p->faults;
    if (!sim::setFault(updated, name, value, error))
        return false;
    p->faults = updated;
    p->firmware.setBlocked(updated.blocked);
    return true;
}

std::vector<TransferRecord> Simulator::transferLog(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    std::vector<TransferRecord> out;
    for (const auto& rec : state_->log) {
        if (programmer == kAllRecords || rec.programmer == programmer)
            out.push_back(rec);
    }
    return out;
}

void Simulator::clearTransferLog() {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->log.clear();
}

std::vector<std::array<std::uint8_t, kCommandFrameSize>> Simulator::frames(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    if (!p)
        return {};
    return p->firmware.frames();
}

std::vector<std::string> Simulator::firmwareLog(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    if (!p)
        return {};
    return {p->firmware.log().begin(), p->firmware.log().end()};
}

void Simulator::clearFrames(int programmer) {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (Programmer* p = state_->slot(programmer))
        p->firmware.clearRecords();
}

bool Simulator::setFeederSettings(int programmer, const FeederSettings& settings) {
    Guard g(*state_);
    Programmer* p = state_->slot(programmer);
    if (!p)
        return false;
    p->feeder.settings() = settings;
    return true;
}

bool Simulator::setFeederSetting(int programmer, std::string_view name, std::string_view value,
                                 std::string* error) {
    Guard g(*state_);
    Programmer* p = state_->slot(programmer);
    if (!p) {
        if (error)
            *error = "no such programmer";
        return false;
    }
    FeederSettings updated = p->feeder.settings();
    if (!sim::setFeederSetting(updated, name, value, error))
        return false;
    p->feeder.settings() = updated;
    return true;
}

std::vector<TakenChip> Simulator::takenChips(int programmer) const {
    Guard g(*state_);
    const Programmer* p = state_->slot(programmer);
    if (!p)
        return {};
    return {p->feeder.taken().begin(), p->feeder.taken().end()};
}

ProgrammerStatus Simulator::status(int programmer) const {
    Guard g(*state_);
    ProgrammerStatus s;
    const Programmer* p = state_->slot(programmer);
    if (!p)
        return s;
    s.plugged = p->plugged;
    s.serial = p->firmware.serial();
    s.firmwareVersion = p->firmware.version();
    s.adapter = p->firmware.adapter();
    s.reenumerating = p->reenumerating();
    s.bootLoader = p->firmware.bootLoader();
    s.bootStage = p->firmware.bootStageName();
    s.busy = p->firmware.busy(state_->nowUs());
    s.session = p->firmware.sessionName();
    if (!p->socket.empty())
        s.chip = p->socket.chip()->model();
    s.image = p->socket.imagePath();
    s.lastState = p->firmware.lastState();
    s.queuedInBytes = p->firmware.in().pendingBytes();
    s.faults = p->faults;
    s.feeder = p->feeder.settings();
    s.chipsTaken = p->feeder.takenCount();
    return s;
}

bool Simulator::injectIn(int programmer, std::vector<std::uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(state_->mu);
    Programmer* p = state_->slot(programmer);
    if (!p || !p->plugged)
        return false;
    p->firmware.in().push(std::move(bytes), state_->nowUs());
    return true;
}

std::size_t Simulator::queuedInBytes(int programmer) const {
    std::lock_guard<std::mutex> lock(state_->mu);
    const Programmer* p = state_->slot(programmer);
    return p ? p->firmware.in().pendingBytes() : 0;
}

void Simulator::setEventListener(std::function<void(const SimEvent&)> listener) {
    std::lock_guard<std::mutex> lock(state_->listenerMu);
    state_->listener = std::move(listener);
}

// ---- libusb 0.1 entry points ----

}  // namespace nyra::sim
