// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/find_job.h"

#include <new>

#include "buffer/byte_finder.h"

namespace nyra {

namespace {

constexpr int kWindowPollMs = 25;
constexpr int kJobPollMs = 15;
constexpr int kGridDataColumns = 16;

}  // namespace

FindWindow::FindWindow(WorkerShared& worker, std::function<void()> startFind, SearchState& search,
                       Frontend& frontend, const TextTable& texts, Clock& clock)
    : worker_(worker),
      startFind_(std::move(startFind)),
      search_(search),
      frontend_(frontend),
      texts_(texts),
      clock_(clock) {}

std::string FindWindow::title() const {
    const std::string& text = texts_.text(ids::kFindTitle);
    return text.empty() ? ids::kFindTemplateTitle : text;
}

void FindWindow::open() {
    searched_ = false;
    panel_.setText(ids::kFindLabel, texts_.text(ftext(90)) + ":");
    panel_.setText(ids::kFindHexMode, texts_.text(ftext(108)));
    panel_.setText(ids::kFindCharacterMode, texts_.text(ftext(109)));
    panel_.setText(ids::kFindAction, texts_.text(ftext(77)));
    panel_.setText(ids::kFindCancel, texts_.text(ftext(76)));
    panel_.setText(ids::kFindText, "");
    setHexMode(true);
}

void FindWindow::setHexMode(bool hex) {
    panel_.setChecked(ids::kFindHexMode, hex);
    panel_.setChecked(ids::kFindCharacterMode, !hex);
}

void FindWindow::search() {
    const SearchPattern pattern =
        searchPattern(panel_.text(ids::kFindText), panel_.checked(ids::kFindHexMode));
    if (pattern.error) {
        frontend_.messageBox(texts_.text(*pattern.error), texts_.text(itext(9)), BoxIcon::Warning,
                             BoxButtons::Ok);
        return;
    }
    search_.setPattern(pattern.hex);
    if (!searched_) {
        searched_ = true;
        panel_.setText(ids::kFindAction, texts_.text(itext(170)));
        startFind_();
    } else {
        const std::uint8_t noted = worker_.jobCode.exchange(find_signal::kGoOn);
        if (noted == kIdleJobCode) {
            startFind_();
        } else if (pattern.hex != search_.lastPattern) {
            // Another pattern: the old search ends, a new one starts from the top.
            worker_.jobCode.store(find_signal::kStop);
            while (worker_.jobCode.load() != kIdleJobCode)
                clock_.sleepMs(kWindowPollMs);
            startFind_();
        }
    }
    search_.lastPattern = pattern.hex;
}

void FindWindow::cancel() {
    std::uint8_t code = worker_.jobCode.load();
    // No job: the byte stays the worker's idle mark.
    while (code != kIdleJobCode &&
           !worker_.jobCode.compare_exchange_weak(code, find_signal::kStop)) {
    }
}

std::uint8_t findInData(Roles<LinkRole, ReportRole, DataRole, ControlRole, ClockRole> context,
                        HexViewModel& view, const SearchState& search) {
    if (!context.flags.fileLoaded.load()) {
        context.box(context.text(itext(57)), BoxIcon::Warning);
        return 0;
    }
    const std::vector<std::uint8_t> pattern = patternBytes(search.pattern());
    const std::uint64_t length = context.data.dataLength();
    std::uint32_t topRow = view.viewStart();
    bool found = false;
    try {
        ByteFinder finder(
            [&context](std::uint64_t offset, std::uint8_t* out, std::size_t n) {
                return context.data.working().readAt(offset, out, n);
            },
            length, pattern);
        while (const auto at = finder.next()) {
            found = true;
            view.showAddress(*at);
            view.refreshView();
            topRow = view.viewStart();
            int row = view.focusRow();
            int column = view.focusColumn();
            for (std::size_t i = 0; i < pattern.size(); ++i) {
                view.highlightCell(row, column);
                if (++column > kGridDataColumns) {
                    column = 1;
                    ++row;
                }
            }
            // A stop raised while the search ran counts as soon as it is seen.
            if (context.worker.jobCode.exchange(find_signal::kWaiting) == find_signal::kStop)
                return 1;
            for (;;) {
                const std::uint8_t signal = context.worker.jobCode.load();
                if (signal == find_signal::kStop)
                    return 1;
                if (signal == find_signal::kGoOn)
                    break;
                context.clock.sleepMs(kJobPollMs);
            }
        }
    } catch (const std::bad_alloc&) {
        context.box(context.text(itext(88)), BoxIcon::Warning);
        return 0;
    }
    view.restoreViewStart(topRow);
    context.frontend.messageBox(context.text(itext(found ? 90 : 89)), context.text(itext(9)),
                                BoxIcon::Information, BoxButtons::Ok);
    return 0;
}

}  // namespace nyra
