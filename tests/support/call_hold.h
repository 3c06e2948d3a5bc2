// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <latch>
#include <memory>

#include "support/recording_usb.h"

namespace nyra::testing {

// Holds the first library call that matches inside the library until the test
// releases it, so the test can act while that caller is "in the transfer".
class CallHold {
public:
    using Match = std::function<bool(const UsbCall&)>;

    explicit CallHold(Match match) : state_(std::make_shared<State>(std::move(match))) {
        // The hook owns the state too: a caller may still be in it after the hold is gone.
        RecordingUsb::instance().setOnCall([state = state_](const UsbCall& call) {
            if (!state->match(call) || !state->armed.exchange(false))
                return;
            state->inside.count_down();
            state->release.wait();
        });
    }
    ~CallHold() {
        releaseCall();
        RecordingUsb::instance().setOnCall(nullptr);
    }
    CallHold(const CallHold&) = delete;
    CallHold& operator=(const CallHold&) = delete;

    void waitUntilInside() { state_->inside.wait(); }
    void releaseCall() {
        if (!state_->released.exchange(true))
            state_->release.count_down();
    }

    // The frame of a command code (and first argument byte, when given).
    static Match commandFrame(int code, int argument = -1) {
        return [code, argument](const UsbCall& call) {
            return call.name == "interrupt_write" && call.bytes.size() == 20 &&
                   (call.bytes[1] & 0x3F) == code && (argument < 0 || call.bytes[13] == argument);
        };
    }
    static Match named(const char* name) {
        return [name](const UsbCall& call) { return call.name == name; };
    }

private:
    struct State {
        explicit State(Match m) : match(std::move(m)) {}
        Match match;
        std::atomic<bool> armed{true};
        std::atomic<bool> released{false};
        std::latch inside{1};
        std::latch release{1};
    };
    std::shared_ptr<State> state_;
};

}  // namespace nyra::testing
