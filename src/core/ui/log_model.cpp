// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/log_model.h"

namespace nyra {

void LogModel::append(std::string line) {
    change(LogChange::Kind::Appended, std::move(line));
}

void LogModel::replaceLast(std::string line) {
    change(LogChange::Kind::ReplacedLast, std::move(line));
}

void LogModel::clear() {
    change(LogChange::Kind::Cleared, {});
}

void LogModel::change(LogChange::Kind kind, std::string line) {
    std::lock_guard order(publishing_);
    LogChange event{kind, {}, 0};
    {
        std::lock_guard lock(mutex_);
        if (kind == LogChange::Kind::ReplacedLast && lines_.empty())
            kind = event.kind = LogChange::Kind::Appended;
        switch (kind) {
            case LogChange::Kind::Appended:
                lines_.push_back(line);
                break;
            case LogChange::Kind::ReplacedLast:
                lines_.back() = line;
                break;
            case LogChange::Kind::Cleared:
                lines_.clear();
                break;
        }
        event.sequence = ++sequence_;
    }
    event.line = std::move(line);
    listeners_.publish(event);
}

std::size_t LogModel::lineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::optional<std::string> LogModel::lastLine() const {
    std::lock_guard lock(mutex_);
    if (lines_.empty())
        return std::nullopt;
    return lines_.back();
}

LogModel::Snapshot LogModel::snapshot() const {
    std::lock_guard lock(mutex_);
    return {{lines_.begin(), lines_.end()}, sequence_};
}

std::string LogModel::text(std::string_view separator) const {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const std::string& line : lines_) {
        if (&line != &lines_.front())
            out += separator;
        out += line;
    }
    return out;
}

std::pair<LogModel::Token, LogModel::Snapshot> LogModel::subscribe(Listener listener) {
    // No change can be published between the snapshot and the subscription.
    std::lock_guard order(publishing_);
    const Token token = listeners_.add(std::move(listener));
    return {token, snapshot()};
}

bool LogModel::unsubscribe(Token token) {
    return listeners_.remove(token);
}

}  // namespace nyra
