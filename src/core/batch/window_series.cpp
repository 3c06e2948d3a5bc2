// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/window_series.h"

#include <charconv>

#include "app/file_access.h"
#include "app/text_language.h"

namespace nyra {

using namespace batch_ids;

namespace {

// Well inside the store's lease, so a station waiting for its next chip is
// never taken for one that died.
constexpr auto kRenewEvery = std::chrono::seconds(60);

bool chinese(const TextTable& texts) {
    return textLanguage(texts).starts_with("zh");
}

// A field as the window reads it: decimal; anything else is 0.
std::uint64_t fieldNumber(const Panel& panel, int id) {
    const std::string text = panel.text(id);
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

int idLengthOf(int index) {
    return index <= 0 ? 1 : index == 1 ? 2 : 4;
}

int indexOf(int idLength) {
    return idLength == 1 ? 0 : idLength == 2 ? 1 : 2;
}

}  // namespace

SeriesDialogTexts seriesDialogTexts(const TextTable& texts) {
    if (chinese(texts))
        return {"序列号库(&N)...", "序列号库",
                "数据库:",         "序列:",
                "工位:",           "模式2的ID取自数据库中的序列；序列留空则由批量窗口自行计数。"};
    return {"Serial-&Number Store...",
            "Serial-number store",
            "Database:",
            "Series:",
            "Station:",
            "Mode 2 takes its IDs from the series in the database; with no series the batch "
            "window counts them itself."};
}

WindowSeries::WindowSeries(BatchWindow& window, Frontend& frontend, const TextTable& texts,
                           Clock& clock, std::string programFolder)
    : window_(window),
      frontend_(frontend),
      texts_(texts),
      clock_(clock),
      programFolder_(std::move(programFolder)),
      renewer_([this] { renewWhileOpen(); }) {}

WindowSeries::~WindowSeries() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    renewer_.join();
    detach();
}

void WindowSeries::detach() {
    window_.nextSerial = nullptr;
    window_.chipStarting = nullptr;
    window_.chipDone = nullptr;
    std::lock_guard lock(mutex_);
    // An ID reserved for a chip that never came goes back.
    if (feed_)
        feed_->close();
    feed_.reset();
    store_.reset();
}

bool WindowSeries::choose(const SeriesChoice& choice) {
    if (window_.running())
        return false;
    detach();
    choice_ = choice;
    if (choice.series.empty())
        return true;
    const std::string url =
        choice.url.empty() ? "sqlite:" + programFolder_ + "serials.db" : choice.url;
    const auto refuse = [this](const std::string& reason) {
        frontend_.messageBox(reason, texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
        choice_.series.clear();
        return false;
    };
    Panel& panel = window_.panel();
    // The series is bound to its main document's checksum.
    if (!regularFileBytes(panel.text(kMainDocument)))
        return refuse(chinese(texts_) ? "请先在批量窗口中选择主文件，再选择序列。"
                                      : "Choose the main document in the batch window first, "
                                        "then the series.");
    std::string error;
    auto store = openSerialStore(url, error);
    if (!store)
        return refuse(error);
    SeriesRequest request;
    request.dataChecksum = documentChecksum(panel.text(kMainDocument));
    // An existing series brings its own settings; a new one takes the window's.
    if (!store->seriesSettings(choice.series)) {
        request.start = fieldNumber(panel, kStartId);
        request.increment = fieldNumber(panel, kIncrement);
        request.idLength = idLengthOf(panel.currentIndex(kIdLength));
        request.bigEndian = panel.currentIndex(kFormat) > 0;
        request.fillAddress = fieldNumber(panel, kFillAddress);
    }
    const auto settings = store->openSeries(choice.series, request);
    if (!settings)
        return refuse(store->error());
    panel.setText(kStartId, std::to_string(settings->start));
    panel.setText(kIncrement, std::to_string(settings->increment));
    panel.setText(kFillAddress, std::to_string(settings->fillAddress));
    panel.setCurrentIndex(kIdLength, indexOf(settings->idLength));
    panel.setCurrentIndex(kFormat, settings->bigEndian ? 1 : 0);

    const std::string serial = programmer ? programmer() : std::string();
    auto feed = std::make_unique<SerialFeed>(
        *store, choice.series, Taker{stationName(choice.station, serial), serial, ""}, clock_);
    const auto left = feed->recover();
    if (!left)
        return refuse(feed->error());
    // The ID the next chip gets: the lowest freed one, else the next new one.
    if (const auto status = store->status(choice.series))
        panel.setText(
            kCount, std::to_string(status->freed.empty() ? status->nextId : status->freed.front()));
    // From here the store is used only through the feed, one call at a time.
    {
        std::lock_guard lock(mutex_);
        store_ = std::move(store);
        feed_ = std::move(feed);
    }
    wake_.notify_all();
    if (!left->empty()) {
        std::string ids;
        for (const std::uint64_t id : *left)
            ids += (ids.empty() ? "" : ", ") + std::to_string(id);
        frontend_.messageBox(
            chinese(texts_) ? "本工位上次运行时预留的ID " + ids + " 结果未知，不会再分配。"
                            : "The IDs " + ids +
                                  " reserved by this station's last run have an unknown outcome "
                                  "and are not given again.",
            texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
    }
    SerialFeed* const current = feed_.get();
    window_.nextSerial = [this, current]() -> std::optional<std::uint32_t> {
        const auto id = current->next();
        if (!id)
            frontend_.messageBox(current->error(), texts_.text(itext(9)), BoxIcon::Error,
                                 BoxButtons::Ok);
        return id;
    };
    window_.chipStarting = [current](const BatchChipResult& chip) {
        current->writing(chip.count);
        return true;
    };
    window_.chipDone = [this, current](const BatchChipResult& chip) {
        if (current->ended(chip.count, chip.code, chipName ? chipName() : "",
                           dataChecksum ? dataChecksum() : ""))
            return true;
        frontend_.messageBox(current->error(), texts_.text(itext(9)), BoxIcon::Error,
                             BoxButtons::Ok);
        return false;
    };
    return true;
}

void WindowSeries::renewWhileOpen() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, kRenewEvery);
        if (!quit_ && feed_)
            feed_->renew();
    }
}

}  // namespace nyra
