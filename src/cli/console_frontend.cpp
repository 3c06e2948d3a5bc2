// SPDX-License-Identifier: GPL-3.0-or-later
#include "console_frontend.h"

namespace nyra::cli {

BoxAnswer ConsoleFrontend::messageBox(const std::string& text, const std::string&, BoxIcon icon,
                                      BoxButtons buttons) {
    std::unique_lock lock(mutex_);
    if (icon == BoxIcon::Information && information_) {
        *information_ << oneLine(text) << '\n' << std::flush;
    } else {
        lock.unlock();
        print(text);
        lock.lock();
    }
    if (buttons == BoxButtons::YesNo && yesNo_)
        return *yesNo_;
    if (buttons == BoxButtons::YesNoCancel && yesNoCancel_)
        return *yesNoCancel_;
    return positiveAnswer(buttons);
}

void ConsoleFrontend::showList(const ListWindow& window) {
    const auto joined = [](const std::vector<std::string>& cells) {
        std::string line;
        for (const auto& cell : cells)
            line += (line.empty() ? "" : " | ") + cell;
        return line;
    };
    std::vector<std::string> headers;
    for (const auto& column : window.columns)
        headers.push_back(column.header);
    std::lock_guard lock(mutex_);
    std::ostream& out = information_ ? *information_ : err_;
    if (!window.line.empty())
        out << window.line << '\n';
    out << joined(headers) << '\n';
    for (const auto& row : window.rows)
        out << joined(row) << '\n';
    out << std::flush;
}

void ConsoleFrontend::shellOpen(const std::string&, std::function<void(bool opened)> done) {
    if (done)
        done(false);
}

void ConsoleFrontend::print(const std::string& line) {
    std::string flat = oneLine(line);
    std::lock_guard lock(mutex_);
    // A failure shows on the status line and then in a box with the same
    // text; once on the terminal is enough.
    if (flat == last_)
        return;
    err_ << flat << '\n' << std::flush;
    last_ = std::move(flat);
}

std::string ConsoleFrontend::oneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool inBreak = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            inBreak = true;
            continue;
        }
        if (inBreak && !out.empty())
            out += ' ';
        inBreak = false;
        out += c;
    }
    const auto end = out.find_last_not_of(" \t");
    out.erase(end == std::string::npos ? 0 : end + 1);
    return out;
}

}  // namespace nyra::cli
