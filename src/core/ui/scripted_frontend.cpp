// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/scripted_frontend.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace nyra {

using Kind = FrontendCall::Kind;

void ScriptedFrontend::answerBox(BoxAnswer answer) {
    std::lock_guard lock(mutex_);
    boxScript_.push_back(answer);
}

void ScriptedFrontend::chooseFiles(std::vector<std::string> paths) {
    std::lock_guard lock(mutex_);
    dialogScript_.push_back(std::move(paths));
}

void ScriptedFrontend::shellOpenResult(bool found) {
    std::lock_guard lock(mutex_);
    shellScript_.push_back(found);
}

void ScriptedFrontend::setPositiveDefault(bool positive) {
    std::lock_guard lock(mutex_);
    positiveDefault_ = positive;
}

void ScriptedFrontend::setObserver(std::function<void(const FrontendCall&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void ScriptedFrontend::record(FrontendCall call) {
    std::function<void(const FrontendCall&)> observer;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        observer = observer_;
    }
    if (observer)
        observer(call);
}

BoxAnswer ScriptedFrontend::messageBox(const std::string& text, const std::string& caption,
                                       BoxIcon icon, BoxButtons buttons) {
    FrontendCall call{.kind = Kind::MessageBox,
                      .text = text,
                      .caption = caption,
                      .icon = icon,
                      .buttons = buttons};
    {
        std::lock_guard lock(mutex_);
        call.answer = positiveDefault_ ? positiveAnswer(buttons) : dismissAnswer(buttons);
        if (!boxScript_.empty()) {
            const BoxAnswer scripted = boxScript_.front();
            boxScript_.pop_front();
            if (offers(buttons, scripted)) {
                call.answer = scripted;
            } else {
                ++mismatches_;
            }
        }
    }
    const BoxAnswer answer = call.answer;
    record(std::move(call));
    return answer;
}

std::vector<std::string> ScriptedFrontend::takeDialogAnswer() {
    std::lock_guard lock(mutex_);
    if (dialogScript_.empty())
        return {};
    auto paths = std::move(dialogScript_.front());
    dialogScript_.pop_front();
    return paths;
}

std::vector<std::string> ScriptedFrontend::openFileDialog(const FileDialogRequest& request) {
    FrontendCall call{.kind = Kind::OpenFile, .dialog = request};
    call.chosen = takeDialogAnswer();
    if (!request.multiSelect && call.chosen.size() > 1)
        call.chosen.resize(1);
    auto chosen = call.chosen;
    record(std::move(call));
    return chosen;
}

// A dialog that gives at most one path: the first scripted one.
std::optional<std::string> ScriptedFrontend::recordSingleChoice(FrontendCall call) {
    call.chosen = takeDialogAnswer();
    if (call.chosen.size() > 1)
        call.chosen.resize(1);
    std::optional<std::string> chosen;
    if (!call.chosen.empty())
        chosen = call.chosen.front();
    record(std::move(call));
    return chosen;
}

std::optional<std::string> ScriptedFrontend::saveFileDialog(const FileDialogRequest& request) {
    FrontendCall call{.kind = Kind::SaveFile, .dialog = request};
    return recordSingleChoice(std::move(call));
}

std::optional<std::string> ScriptedFrontend::browseFolder(const std::string& title) {
    FrontendCall call{.kind = Kind::BrowseFolder, .text = title};
    return recordSingleChoice(std::move(call));
}

std::optional<std::size_t> ScriptedFrontend::chooseItem(const std::string& title,
                                                        const std::string& prompt,
                                                        const std::vector<std::string>& items,
                                                        std::size_t) {
    FrontendCall call{.kind = Kind::ChooseItem, .text = title, .caption = prompt, .items = items};
    const std::optional<std::string> chosen = recordSingleChoice(std::move(call));
    const auto at = chosen ? std::find(items.begin(), items.end(), *chosen) : items.end();
    if (at == items.end())
        return std::nullopt;
    return static_cast<std::size_t>(at - items.begin());
}

void ScriptedFrontend::showList(const ListWindow& window) {
    record({.kind = Kind::ShowList, .list = window});
}

void ScriptedFrontend::playSound(const std::string& path) {
    record({.kind = Kind::PlaySound, .text = path});
}

void ScriptedFrontend::beep(BeepKind kind) {
    record({.kind = Kind::Beep, .beep = kind});
}

bool ScriptedFrontend::shellOpen(const std::string& path) {
    FrontendCall call{.kind = Kind::ShellOpen, .text = path};
    std::optional<bool> scripted;
    {
        std::lock_guard lock(mutex_);
        if (!shellScript_.empty()) {
            scripted = shellScript_.front();
            shellScript_.pop_front();
        }
    }
    if (scripted) {
        call.found = *scripted;
    } else {
        std::error_code ec;
        call.found = std::filesystem::exists(path, ec);
    }
    const bool found = call.found;
    record(std::move(call));
    return found;
}

void ScriptedFrontend::shellOpen(const std::string& path, std::function<void(bool opened)> done) {
    const bool found = shellOpen(path);
    if (done)
        done(found);
}

void ScriptedFrontend::useLanguage(const std::string& locale) {
    std::lock_guard lock(mutex_);
    language_ = locale;
}

std::optional<std::string> ScriptedFrontend::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}

std::vector<FrontendCall> ScriptedFrontend::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

namespace {

template <typename Pick>
auto collect(const std::vector<FrontendCall>& calls, Pick pick) {
    std::vector<typename decltype(pick(calls.front()))::value_type> out;
    for (const auto& call : calls) {
        if (auto value = pick(call))
            out.push_back(std::move(*value));
    }
    return out;
}

}  // namespace

std::vector<FrontendCall> ScriptedFrontend::boxes() const {
    return collect(calls(), [](const FrontendCall& c) {
        return c.kind == Kind::MessageBox ? std::optional(c) : std::nullopt;
    });
}

std::vector<FrontendCall> ScriptedFrontend::dialogs() const {
    return collect(calls(), [](const FrontendCall& c) {
        const bool dialog =
            c.kind == Kind::OpenFile || c.kind == Kind::SaveFile || c.kind == Kind::BrowseFolder;
        return dialog ? std::optional(c) : std::nullopt;
    });
}

std::vector<std::string> ScriptedFrontend::sounds() const {
    return collect(calls(), [](const FrontendCall& c) {
        return c.kind == Kind::PlaySound ? std::optional(c.text) : std::nullopt;
    });
}

std::vector<ListWindow> ScriptedFrontend::lists() const {
    return collect(calls(), [](const FrontendCall& c) {
        return c.kind == Kind::ShowList ? std::optional(c.list) : std::nullopt;
    });
}

std::vector<BeepKind> ScriptedFrontend::beeps() const {
    return collect(calls(), [](const FrontendCall& c) {
        return c.kind == Kind::Beep ? std::optional(c.beep) : std::nullopt;
    });
}

std::vector<std::string> ScriptedFrontend::opened() const {
    return collect(calls(), [](const FrontendCall& c) {
        return c.kind == Kind::ShellOpen ? std::optional(c.text) : std::nullopt;
    });
}

std::size_t ScriptedFrontend::unusedScript() const {
    std::lock_guard lock(mutex_);
    return boxScript_.size() + dialogScript_.size() + shellScript_.size();
}

std::size_t ScriptedFrontend::mismatches() const {
    std::lock_guard lock(mutex_);
    return mismatches_;
}

void ScriptedFrontend::clearRecord() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    mismatches_ = 0;
}

}  // namespace nyra
