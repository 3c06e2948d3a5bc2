#include "sim/simulator.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "device/usb_api.h"
#include "sim/firmware.h"
#include "sim/socket.h"
#include "sim/timing.h"
#include "sim/usb_topology.h"

namespace nyra::sim {

namespace {

// Longest single sleep while waiting, so that an unplug or injected reply
// from another thread is seen soon on the real clock.
constexpr std::int64_t kSliceMs = 10;
constexpr std::uint32_t kDefaultSerials[kMaxProgrammers] = {100001, 100002};

struct Programmer {
    explicit Programmer(const Timing& timing) : firmware(socket, timing) {
        firmware.attachFaults(&faults);
    }
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;
    Socket socket;
    Firmware firmware;
    Faults faults;
    bool plugged = false;
    std::uint8_t devnum = 0;
    std::uint32_t generation = 0;  // counts attachments; handles of an older one are dead
    // Off the bus after a restart: back at this time, or never (fault).
    std::optional<std::int64_t> returnAtMs;
    bool stayingAway = false;
    bool reenumerating() const { return returnAtMs.has_value() || stayingAway; }
};

struct Handle {
    int slot = 0;
    std::uint32_t generation = 0;
    bool claimed = false;
};

// Handles are opaque to the caller: an id, shifted so that it never is null
// and never equals a handle that was closed before.
usb_dev_handle* handleFromId(std::uint64_t id) {
    return reinterpret_cast<usb_dev_handle*>(static_cast<std::uintptr_t>(id << 4));
}

std::uint64_t idFromHandle(const usb_dev_handle* handle) {
    const auto bits = reinterpret_cast<std::uintptr_t>(handle);
    return (bits & 0xF) ? 0 : static_cast<std::uint64_t>(bits >> 4);
}

std::int64_t waitBudgetMs(int timeout) {
    return timeout > 0 ? timeout : kNoTimeoutCapMs;
}

}  // namespace

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

struct Simulator::State {
    explicit State(const SimulatorOptions& options)
        : time(options.time ? *options.time : realTimeSource()),
          timing(options.timingFactor),
          logCapacity(options.logCapacity) {
        for (int i = 0; i < kMaxProgrammers; ++i) {
            slots[i] = std::make_unique<Programmer>(timing);
            slots[i]->firmware.setSerial(kDefaultSerials[i]);
            slots[i]->firmware.setAdapter(options.adapter);
            if (options.chip && validateChipModel(*options.chip, nullptr)) {
                std::string note;
                slots[i]->socket.insert(*options.chip, i == 0 ? options.image : std::string(),
                                        &note);
                if (!note.empty())
                    slots[i]->firmware.addNote(note);
            }
        }
        for (int i = 0; i < std::clamp(options.programmers, 0, kMaxProgrammers); ++i)
            plug(i);
        pendingEvents.clear();  // nobody listens yet
    }

    std::int64_t nowUs() { return time.nowMs() * 1000; }

    Programmer* slot(int i) {
        return (i >= 0 && i < kMaxProgrammers) ? slots[static_cast<std::size_t>(i)].get() : nullptr;
    }

    // Logs a transfer with its result and returns the result.
    int finish(TransferRecord rec, int result) {
        rec.result = result;
        rec.timeMs = time.nowMs();
        record(std::move(rec));
        return result;
    }

    void record(TransferRecord rec) {
        if (logCapacity == 0)
            return;
        if (log.size() >= logCapacity)
            log.pop_front();
        log.push_back(std::move(rec));
    }

    // On the bus with a new address; handles of the last attachment are dead.
    void attach(int i) {
        Programmer& p = *slot(i);
        p.plugged = true;
        p.returnAtMs.reset();
        p.stayingAway = false;
        ++p.generation;
        p.devnum = nextDevnum;
        nextDevnum = nextDevnum >= 127 ? 2 : static_cast<std::uint8_t>(nextDevnum + 1);
        pendingEvents.push_back({SimEventKind::Plugged, i});
    }

    bool plug(int i) {
        Programmer* p = slot(i);
        if (!p || p->plugged)
            return false;
        attach(i);
        p->firmware.powerCycle();
        return true;
    }

    bool unplug(int i) {
        Programmer* p = slot(i);
        if (!p || (!p->plugged && !p->reenumerating()))
            return false;
        // Pulled while re-enumerating: it already left the bus, so no second event.
        if (p->plugged)
            pendingEvents.push_back({SimEventKind::Unplugged, i});
        p->plugged = false;
        p->returnAtMs.reset();
        p->stayingAway = false;
        p->firmware.powerCycle();
        p->socket.flush(nullptr);
        return true;
    }

    // A restart of the programmer's firmware: it leaves the bus at once and
    // enumerates again after the re-enumeration time, keeping its state.
    void reenumerate(int i) {
        Programmer& p = *slot(i);
        p.plugged = false;
        p.firmware.in().clear();  // the reset loses what waited on the endpoint
        p.socket.flush(nullptr);
        pendingEvents.push_back({SimEventKind::Unplugged, i});
        if (p.faults.noReenumeration.fire()) {
            p.stayingAway = true;
            p.firmware.addNote("restarted but did not come back on the bus (fault)");
            return;
        }
        p.returnAtMs = time.nowMs() + (timing.reenumerationUs() + 999) / 1000;
        settle();
    }

    // Brings back the programmers whose re-enumeration time is over.
    void settle() {
        const std::int64_t now = time.nowMs();
        for (int i = 0; i < kMaxProgrammers; ++i) {
            const Programmer& p = *slot(i);
            if (p.returnAtMs && *p.returnAtMs <= now)
                attach(i);
        }
    }

    bool putChip(int i, const ChipModel& model, const std::string& image, std::string* error) {
        Programmer* p = slot(i);
        if (!p) {
            if (error)
                *error = "no such programmer";
            return false;
        }
        if (!validateChipModel(model, error))
            return false;
        std::string note;
        p->socket.insert(model, image, &note);
        if (!note.empty())
            p->firmware.addNote(note);
        if (error)
            *error = note;
        pendingEvents.push_back({SimEventKind::ChipChanged, i});
        return true;
    }

    // The programmer behind a handle, or the error a transfer on it gets.
    int resolve(usb_dev_handle* handle, Programmer*& p, Handle*& h, int& slotOut) {
        const auto it = handles.find(idFromHandle(handle));
        if (it == handles.end())
            return kErrInvalid;
        h = &it->second;
        p = slot(h->slot);
        slotOut = h->slot;
        if (!p->plugged || p->generation != h->generation)
            return kErrNoDevice;
        return 0;
    }

    // Bulk bytes the unplug fault still lets through, of n wanted.
    std::size_t allowance(const Programmer& p, std::size_t n) const {
        if (p.faults.unplugAfterBytes < 0)
            return n;
        return std::min<std::size_t>(n, static_cast<std::size_t>(p.faults.unplugAfterBytes));
    }

    void spend(int i, std::size_t n) {
        Programmer& p = *slot(i);
        if (p.faults.unplugAfterBytes < 0)
            return;
        p.faults.unplugAfterBytes -= static_cast<std::int64_t>(n);
        if (p.faults.unplugAfterBytes <= 0) {
            p.faults.unplugAfterBytes = -1;
            unplug(i);
        }
    }

    void nap(std::unique_lock<std::mutex>& lock, std::int64_t ms) {
        lock.unlock();
        time.sleepMs(std::clamp<std::int64_t>(ms, 1, kSliceMs));
        lock.lock();
    }

    void fire(const std::vector<SimEvent>& events) {
        if (events.empty())
            return;
        std::function<void(const SimEvent&)> copy;
        {
            std::lock_guard<std::mutex> lock(listenerMu);
            copy = listener;
        }
        if (!copy)
            return;
        for (const auto& event : events) {
            try {
                copy(event);
            } catch (...) {
                // A listener's failure must not break the device.
            }
        }
    }

    mutable std::mutex mu;
    TimeSource& time;
    Timing timing;
    std::array<std::unique_ptr<Programmer>, kMaxProgrammers> slots;
    UsbTopology topology;
    std::map<std::uint64_t, Handle> handles;
    std::uint64_t nextHandle = 1;
    std::deque<TransferRecord> log;
    std::size_t logCapacity;
    std::uint8_t nextDevnum = 2;
    std::vector<SimEvent> pendingEvents;
    std::mutex listenerMu;
    std::function<void(const SimEvent&)> listener;
};

namespace {

// Holds the simulator lock; on leaving, releases it and then tells the
// listener what happened meanwhile.
class Guard {
public:
    explicit Guard(Simulator::State& state) : state_(state), lock_(state.mu) { state_.settle(); }
    ~Guard() {
        std::vector<SimEvent> events;
        if (!lock_.owns_lock())
            lock_.lock();
        state_.settle();
        events.swap(state_.pendingEvents);
        lock_.unlock();
        state_.fire(events);
    }
    std::unique_lock<std::mutex>& lock() { return lock_; }

private:
    Simulator::State& state_;
    std::unique_lock<std::mutex> lock_;
};

std::vector<std::uint8_t> head(const void* bytes, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    return {p, p + std::min(n, kLogDataLimit)};
}

}  // namespace

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
    if (p->faults.shortReads.fire())
        wanted /= 2;
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
    if (classifyFrame(frame) == FrameKind::Command) {
        const auto it = p->faults.refuse.find(static_cast<std::uint8_t>(frame[1] & 0x3F));
        if (it != p->faults.refuse.end() && it->second.fire()) {
            if (!it->second.armed())
                p->faults.refuse.erase(it);
            // Refused: the device NAKs the frame until the time-out.
            const std::int64_t deadline = s.time.nowMs() + waitBudgetMs(timeout);
            for (std::int64_t now = s.time.nowMs(); now < deadline; now = s.time.nowMs()) {
                s.nap(g.lock(), deadline - now);
                if (const int err = s.resolve(handle, p, h, rec.programmer))
                    return finish(err);
            }
            return finish(kErrTimeout);
        }
    }
    p->firmware.takeFrame(frame, s.nowUs());
    if (p->firmware.takeRestartRequest())
        s.reenumerate(rec.programmer);
    return finish(size);
}

}  // namespace nyra::sim
