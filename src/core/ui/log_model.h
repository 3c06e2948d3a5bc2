// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/listeners.h"

namespace nyra {

struct LogChange {
    enum class Kind : std::uint8_t { Appended, ReplacedLast, Cleared };
    Kind kind;
    std::string line;  // the new line (empty for Cleared)
    // Counts every change; a view that started from a snapshot skips the
    // changes the snapshot already holds.
    std::uint64_t sequence;

    friend bool operator==(const LogChange&, const LogChange&) = default;
};

// The lines of the log view. Appending and replacing the last line cost the
// same however long the log is; views follow the changes instead of reading
// the whole text back. Threads may change it at once: listeners see the
// changes one at a time, in the order they were made.
class LogModel {
public:
    using Listener = Listeners<LogChange>::Listener;
    using Token = Listeners<LogChange>::Token;

    struct Snapshot {
        std::vector<std::string> lines;
        std::uint64_t sequence = 0;  // of the last change it holds
    };

    void append(std::string line);
    // Replaces the last line, or appends the first one.
    void replaceLast(std::string line);
    void clear();

    std::size_t lineCount() const;
    std::optional<std::string> lastLine() const;
    Snapshot snapshot() const;
    // The lines joined by separator.
    std::string text(std::string_view separator = "\r\n") const;

    // Subscribes and takes the state at that moment: every change after it
    // reaches the listener with a larger sequence, and none before it does.
    std::pair<Token, Snapshot> subscribe(Listener listener);
    bool unsubscribe(Token token);

private:
    void change(LogChange::Kind kind, std::string line);

    // Held across a change and its publication, so that listeners get the
    // changes in order; recursive so that a listener may log.
    std::recursive_mutex publishing_;
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
    std::uint64_t sequence_ = 0;
    Listeners<LogChange> listeners_;
};

}  // namespace nyra
