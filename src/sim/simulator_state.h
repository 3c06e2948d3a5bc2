// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Inside the simulator: its state and the pieces both its halves use (the
// test and control side in simulator.cpp, the USB calls in simulator_usb.cpp).
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "device/usb_api.h"
#include "sim/feeder.h"
#include "sim/firmware.h"
#include "sim/simulator.h"
#include "sim/socket.h"
#include "sim/timing.h"
#include "sim/usb_topology.h"

namespace nyra::sim {

namespace simulator_detail {

// Longest single sleep while waiting, so that an unplug or injected reply
// from another thread is seen soon on the real clock.
constexpr std::int64_t kSliceMs = 10;

struct Programmer {
    explicit Programmer(const Timing& timing) : firmware(socket, timing) {
        firmware.attachFaults(&faults);
    }
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;
    Socket socket;
    Firmware firmware;
    Faults faults;
    Feeder feeder;
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
inline usb_dev_handle* handleFromId(std::uint64_t id) {
    return reinterpret_cast<usb_dev_handle*>(static_cast<std::uintptr_t>(id << 4));
}

inline std::uint64_t idFromHandle(const usb_dev_handle* handle) {
    const auto bits = reinterpret_cast<std::uintptr_t>(handle);
    return (bits & 0xF) ? 0 : static_cast<std::uint64_t>(bits >> 4);
}

inline std::int64_t waitBudgetMs(int timeout) {
    return timeout > 0 ? timeout : kNoTimeoutCapMs;
}

}  // namespace simulator_detail

using namespace simulator_detail;

struct Simulator::State {
    explicit State(const SimulatorOptions& options)
        : time(options.time ? *options.time : realTimeSource()),
          timing(options.timingFactor),
          logCapacity(options.logCapacity) {
        for (int i = 0; i < kMaxProgrammers; ++i) {
            slots[i] = std::make_unique<Programmer>(timing);
            slots[i]->firmware.setSerial(100001 + static_cast<std::uint32_t>(i));
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

    // Brings back the programmers whose re-enumeration time is over, and
    // moves the feeders' chips that are due.
    void settle() {
        const std::int64_t now = time.nowMs();
        for (int i = 0; i < kMaxProgrammers; ++i) {
            const Programmer& p = *slot(i);
            if (p.returnAtMs && *p.returnAtMs <= now)
                attach(i);
            feed(i, now);
        }
    }

    void feed(int i, std::int64_t now) {
        Programmer& p = *slot(i);
        if (p.feeder.outDue(now)) {
            std::optional<ChipModel> model;
            if (const Chip* chip = p.socket.chip()) {
                model = chip->model();
                const auto bytes = chip->contents();
                std::uint32_t sum = 0;
                for (const std::uint8_t b : bytes)
                    sum += b;
                p.feeder.record({0, chip->model().name, chip->stuckBits() != 0, sum,
                                 p.feeder.outAt().value_or(now),
                                 std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
                p.socket.remove();
                pendingEvents.push_back({SimEventKind::ChipChanged, i});
            }
            p.feeder.tookOut(now, model);
        }
        if (p.feeder.inDue(now)) {
            const auto next = p.feeder.putIn();
            if (next && p.socket.empty() && putChip(i, next->model, {}, nullptr) && next->bad)
                p.socket.chip()->setStuckBits(kBadChipStuckBits);
        }
    }

    // A state indication reached programmer i: a pass may start its feeder.
    void noteState(int i, int state) {
        Programmer& p = *slot(i);
        if (state == state::kSucceeded)
            p.feeder.onPassed(time.nowMs(), p.socket.chip() && p.socket.chip()->written());
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
        if (p.faults.pullChipAfterBytes >= 0) {
            p.faults.pullChipAfterBytes -= static_cast<std::int64_t>(n);
            if (p.faults.pullChipAfterBytes <= 0) {
                p.faults.pullChipAfterBytes = -1;
                if (!p.socket.empty()) {
                    p.socket.remove();
                    pendingEvents.push_back({SimEventKind::ChipChanged, i});
                }
            }
        }
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

namespace simulator_detail {

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

inline std::vector<std::uint8_t> head(const void* bytes, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    return {p, p + std::min(n, kLogDataLimit)};
}

}  // namespace simulator_detail

}  // namespace nyra::sim
