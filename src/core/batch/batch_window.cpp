// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batch_window.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/file_access.h"
#include "app/text_language.h"
#include "batch/batch_files.h"
#include "ops/job_texts.h"
#include "tools/file_copy.h"

namespace nyra {

using namespace batch_ids;

namespace {

constexpr int kNextRequestDelayMs = 200;
constexpr std::uint32_t kLoadAndRun = 3;
constexpr std::uint32_t kRunAgain = 2;
constexpr std::uint64_t kLargest = 0xFFFFFFFFull;
// The dialog framework's own words for a number field that does not parse.
constexpr const char* kRangeText = "“请填入一个在%1和%2之间的整数。”";
constexpr const char* kPositiveText = "“请填入一个正整数。”";

constexpr int kFieldControls[] = {kFillAddress, kStartId, kIdLength, kIncrement, kFormat};
constexpr int kListControls[] = {kDocuments, kAdd, kUp, kDown, kDelete, kAll, kNone};

std::string rangeText(std::uint64_t low, std::uint64_t high) {
    std::string text = kRangeText;
    text.replace(text.find("%1"), 2, std::to_string(low));
    text.replace(text.find("%2"), 2, std::to_string(high));
    return text;
}

// A decimal field as the dialog framework reads it: digits only.
std::optional<std::uint64_t> decimal(const std::string& text) {
    if (text.empty() || text.size() > 19)
        return text.empty() ? std::nullopt : std::optional<std::uint64_t>(kLargest + 1);
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::string idsUsedUpText(const TextTable& texts, std::uint64_t next, int idLength) {
    const std::string n = std::to_string(next);
    const std::string bytes = std::to_string(idLength);
    if (textLanguage(texts).starts_with("zh"))
        return "下一个ID " + n + " 超出" + bytes +
               "字节的范围，批量已停止：芯片只会得到它的低位字节，与之前的ID重复。";
    return "The next ID " + n + " does not fit in " + bytes +
           " byte(s): the series stopped, as a chip would get only its low bytes, an ID given "
           "before.";
}

}  // namespace

BatchWindow::BatchWindow(std::function<void(std::uint32_t)> requestRun,
                         std::function<void(std::optional<std::uint32_t>)> batchCaption,
                         Frontend& frontend, const TextTable& texts, Clock& clock)
    : requestRun_(std::move(requestRun)),
      batchCaption_(std::move(batchCaption)),
      frontend_(frontend),
      texts_(texts),
      clock_(clock),
      thread_([this] { threadLoop(); }) {}

BatchWindow::~BatchWindow() {
    {
        std::lock_guard lock(queueMutex_);
        quit_ = true;
    }
    queueChanged_.notify_all();
    thread_.join();
    std::lock_guard lock(mutex_);
    removeTemporaryFiles();
}

std::string BatchWindow::newTemporaryFile(const std::string& base) {
    std::string path = freshTemporaryName(base);
    temporaryFiles_.push_back(path);
    return path;
}

void BatchWindow::removeTemporaryFiles() {
    for (const std::string& path : temporaryFiles_)
        ::unlink(path.c_str());
    temporaryFiles_.clear();
}

std::string BatchWindow::title() const {
    const std::string& text = texts_.text(ftext(111));
    return text.empty() ? kTemplateTitle : text;
}

void BatchWindow::create() {
    std::lock_guard lock(mutex_);
    const auto t = [this](int key) { return texts_.text(ftext(key)); };
    panel_.setText(1174, t(111) + ":");
    for (int i = 0; i < 6; ++i)
        panel_.setText(1175 + i, t(118 + i) + ":");
    panel_.setItems(kMode, {t(129), t(130), t(131), t(132)});
    panel_.setCurrentIndex(kMode, 0);
    panel_.setItems(kIdLength, {"1 byte", "2 bytes", "4 bytes"});
    panel_.setCurrentIndex(kIdLength, 2);
    panel_.setItems(kFormat, {t(133), t(134)});
    panel_.setCurrentIndex(kFormat, 0);
    const std::pair<int, int> buttons[] = {{kAdd, 112},        {kUp, 113},       {kDown, 114},
                                           {kDelete, 115},     {kAll, 116},      {kNone, 117},
                                           {kChooseMain, 125}, {kStart, 126},    {kStop, 127},
                                           {kExit, 128},       {kAutoStart, 124}};
    for (const auto& [id, key] : buttons)
        panel_.setText(id, t(key));
    panel_.setChecked(kAutoStart, true);
    panel_.setText(kMainDocument, "");
    fields_ = {};
    showFields();
    panel_.setEnabled(kStop, false);
    applyEnableTable();
}

BatchMode BatchWindow::mode() const {
    return static_cast<BatchMode>(std::clamp(panel_.currentIndex(kMode), 0, 3));
}

void BatchWindow::setMode(int index) {
    std::lock_guard lock(mutex_);
    panel_.setCurrentIndex(kMode, index);
    applyEnableTable();
}

void BatchWindow::applyEnableTable() {
    const BatchMode m = mode();
    const bool list = m == BatchMode::FileList || m == BatchMode::MainAndList;
    for (int id : kListControls)
        panel_.setEnabled(id, list);
    panel_.setEnabled(kFillAddress, m == BatchMode::SerialId || m == BatchMode::MainAndList);
    for (int id : {kStartId, kIdLength, kIncrement, kFormat})
        panel_.setEnabled(id, m == BatchMode::SerialId);
    const bool main = m != BatchMode::FileList;
    panel_.setEnabled(kMainDocument, main);
    panel_.setEnabled(kChooseMain, main);
    panel_.setEnabled(kCount, true);
}

void BatchWindow::lockForRunning() {
    running_ = true;
    for (int id : kListControls)
        panel_.setEnabled(id, false);
    for (int id : kFieldControls)
        panel_.setEnabled(id, false);
    for (int id : {kMode, kMainDocument, kChooseMain, kStart})
        panel_.setEnabled(id, false);
    panel_.setEnabled(kCount, true);
    panel_.setEnabled(kStop, true);
    if (batchCaption_)
        batchCaption_(fields_.count);
}

void BatchWindow::stopSeries() {
    for (int id : kListControls)
        panel_.setEnabled(id, true);
    for (int id : kFieldControls)
        panel_.setEnabled(id, true);
    for (int id : {kMode, kMainDocument, kChooseMain, kStart})
        panel_.setEnabled(id, true);
    panel_.setEnabled(kStop, false);
    applyEnableTable();
    const bool wasRunning = running_;
    running_ = false;
    if (wasRunning && batchCaption_)
        batchCaption_(std::nullopt);
}

void BatchWindow::stop() {
    std::lock_guard lock(mutex_);
    stopSeries();
}

void BatchWindow::exit() {
    std::lock_guard lock(mutex_);
    stopSeries();
    readFields();
}

bool BatchWindow::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::uint32_t BatchWindow::count() const {
    std::lock_guard lock(mutex_);
    return fields_.count;
}

std::string BatchWindow::currentBatchFile() const {
    std::lock_guard lock(mutex_);
    return currentFile_;
}

std::string BatchWindow::currentBatchDocument() const {
    std::lock_guard lock(mutex_);
    return chipDocument();
}

bool BatchWindow::readFields() {
    struct Field {
        int id;
        std::uint32_t Fields::*value;
        std::uint64_t low;
        bool ranged;
    };
    const Field fields[] = {{kFillAddress, &Fields::fillAddress, 0, true},
                            {kStartId, &Fields::startId, 0, true},
                            {kIncrement, &Fields::increment, 1, true},
                            {kCount, &Fields::count, 0, false}};
    for (const Field& f : fields) {
        const auto value = decimal(panel_.text(f.id));
        std::string problem;
        if (!value)
            problem = kPositiveText;
        else if (*value > kLargest || (f.ranged && *value < f.low))
            problem = rangeText(f.ranged ? f.low : 0, kLargest);
        if (!problem.empty()) {
            frontend_.messageBox(problem, "", BoxIcon::Warning, BoxButtons::Ok);
            if (focus)
                focus(f.id, true);
            return false;
        }
        fields_.*f.value = static_cast<std::uint32_t>(*value);
    }
    return true;
}

void BatchWindow::showFields() {
    panel_.setText(kFillAddress, std::to_string(fields_.fillAddress));
    panel_.setText(kStartId, std::to_string(fields_.startId));
    panel_.setText(kIncrement, std::to_string(fields_.increment));
    panel_.setText(kCount, std::to_string(fields_.count));
}

bool BatchWindow::mainDocumentExists() const {
    struct stat info {};
    const std::string path = panel_.text(kMainDocument);
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string BatchWindow::chipDocument() const {
    const BatchMode m = mode();
    const int selected = firstSelected();
    if ((m == BatchMode::FileList || m == BatchMode::MainAndList) && selected >= 0)
        return documents_[static_cast<std::size_t>(selected)];
    if (m == BatchMode::SameFile || m == BatchMode::SerialId)
        return panel_.text(kMainDocument);
    return currentFile_;
}

bool BatchWindow::validate() {
    const bool read = readFields();
    const BatchMode m = mode();
    if (m == BatchMode::SerialId && !read)
        return false;
    const bool needsMain = m != BatchMode::FileList;
    const bool needsList = m == BatchMode::FileList || m == BatchMode::MainAndList;
    if (needsMain && !mainDocumentExists()) {
        panel_.setText(kMainDocument, std::string(21, '\t'));
        if (focus)
            focus(kMainDocument, true);
        return false;
    }
    if (needsList && documents_.empty()) {
        if (focus)
            focus(kDocuments, false);
        return false;
    }
    if (m == BatchMode::SerialId && fields_.count < fields_.startId) {
        fields_.count = fields_.startId;
        showFields();
    }
    // An ID cut to its length would be one given before.
    if (m == BatchMode::SerialId) {
        const std::uint64_t largest = largestId(selectedIdLength());
        for (const auto& [id, value] :
             {std::pair{kStartId, fields_.startId}, std::pair{kCount, fields_.count}}) {
            if (value > largest) {
                frontend_.messageBox(rangeText(0, largest), "", BoxIcon::Warning, BoxButtons::Ok);
                if (focus)
                    focus(id, true);
                return false;
            }
        }
    }
    return imagesFit();
}

bool BatchWindow::imagesFit() {
    const std::uint64_t chip = chipCapacity ? chipCapacity() : 0;
    if (chip == 0)
        return true;
    const std::string main = panel_.text(kMainDocument);
    const std::uint64_t mainBytes = regularFileBytes(main).value_or(0);
    // Each image with the user's document it is made from.
    std::vector<std::pair<std::string, std::uint64_t>> images;
    switch (mode()) {
        case BatchMode::SameFile:
            images.emplace_back(main, mainBytes);
            break;
        case BatchMode::SerialId:
            images.emplace_back(main,
                                idImageBytes(mainBytes, fields_.fillAddress, selectedIdLength()));
            break;
        case BatchMode::FileList:
        case BatchMode::MainAndList:
            for (const std::string& document : documents_) {
                const std::uint64_t bytes = regularFileBytes(document).value_or(0);
                images.emplace_back(
                    document, mode() == BatchMode::FileList
                                  ? bytes
                                  : combinedImageBytes(mainBytes, fields_.fillAddress, bytes));
            }
            break;
    }
    for (const auto& [file, bytes] : images) {
        if (bytes > chip) {
            frontend_.messageBox(imageLargerThanChipText(texts_, file, bytes, chip),
                                 texts_.text(itext(9)), BoxIcon::Warning, BoxButtons::Ok);
            if (focus && mode() == BatchMode::SerialId)
                focus(kFillAddress, true);
            return false;
        }
    }
    return true;
}

int BatchWindow::selectedIdLength() const {
    const int lengths[] = {1, 2, 4};
    return lengths[std::clamp(panel_.currentIndex(kIdLength), 0, 2)];
}

bool BatchWindow::prepare() {
    const std::string main = panel_.text(kMainDocument);
    switch (mode()) {
        case BatchMode::SameFile:
            currentFile_ = main;
            return true;
        case BatchMode::FileList: {
            const int first = std::max(firstSelected(), 0);
            selectOnly(first);
            currentFile_ = documents_[static_cast<std::size_t>(first)];
            return true;
        }
        case BatchMode::SerialId: {
            if (!readFields())
                return false;
            if (nextSerial) {
                const auto id = nextSerial();
                if (!id)
                    return false;
                fields_.count = *id;
            }
            idLength_ = selectedIdLength();
            bigEndian_ = panel_.currentIndex(kFormat) > 0;
            removeTemporaryFiles();  // a series that ended before any cycle ran
            const std::string path = newTemporaryFile(main + "-ID");
            if (!buildIdFile(main, path, fields_.fillAddress, fields_.count, idLength_, bigEndian_)
                     .ok) {
                return false;
            }
            currentFile_ = path;
            showFields();
            return true;
        }
        case BatchMode::MainAndList: {
            const int first = std::max(firstSelected(), 0);
            selectOnly(first);
            const std::string& entry = documents_[static_cast<std::size_t>(first)];
            removeTemporaryFiles();
            const std::string path = newTemporaryFile(main + "-" + entryName(entry));
            if (!buildCombinedFile(main, path, fields_.fillAddress, entry).ok)
                return false;
            currentFile_ = path;
            return true;
        }
    }
    return false;
}

void BatchWindow::start() {
    std::lock_guard lock(mutex_);
    if (running_)
        return;
    if (!validate()) {
        frontend_.beep(BeepKind::Simple);
        return;
    }
    if (!prepare())
        return;
    idsUsedUp_.store(false);
    programmerLost_.store(false);
    {
        std::lock_guard queue(queueMutex_);
        results_.clear();
        handled_ = posted_;
        lastCode_ = batch_result::kCycleEnded;
    }
    lockForRunning();
    requestRun_(kLoadAndRun);
}

void BatchWindow::advance() {
    readFields();
    const BatchMode m = mode();
    // A file that cannot be made for the next chip stops the series: the
    // chip would otherwise get the last one's content (its serial number) again.
    const auto cannotPrepare = [this](const BatchFileResult& r) {
        stopSeries();
        frontend_.messageBox(fileMessage(texts_.text(itext(25)), r.path, failureReason(r)),
                             texts_.text(itext(29)), BoxIcon::Error, BoxButtons::Ok);
    };
    switch (m) {
        case BatchMode::SameFile:
            ++fields_.count;
            break;
        case BatchMode::FileList:
        case BatchMode::MainAndList: {
            const int first = firstSelected();
            const bool last = first < 0 || first + 1 >= static_cast<int>(documents_.size());
            selectOnly(-1);
            if (last) {
                stopSeries();
            } else if (m == BatchMode::FileList) {
                selectOnly(first + 1);
                currentFile_ = documents_[static_cast<std::size_t>(first + 1)];
            } else if (!running_) {
                selectOnly(first + 1);  // the next start makes its file
            } else {
                selectOnly(first + 1);
                const std::string& entry = documents_[static_cast<std::size_t>(first + 1)];
                const std::string main = panel_.text(kMainDocument);
                const std::string path = newTemporaryFile(main + "-" + entryName(entry));
                const BatchFileResult built =
                    buildCombinedFile(main, path, fields_.fillAddress, entry);
                if (built.ok)
                    currentFile_ = path;
                else
                    cannotPrepare(built);
            }
            ++fields_.count;
            break;
        }
        case BatchMode::SerialId: {
            std::uint64_t next = std::uint64_t{fields_.count} + fields_.increment;
            if (nextSerial) {
                // No ID for a chip that will not come.
                const auto reserved = running_ ? nextSerial() : std::nullopt;
                if (!reserved) {
                    stopSeries();
                    break;
                }
                next = *reserved;
            } else if (next > largestId(idLength_)) {
                idsUsedUp_.store(true);
                stopSeries();
                showFields();
                // The field shows the next ID, which a new start refuses.
                panel_.setText(kCount, std::to_string(next));
                frontend_.messageBox(idsUsedUpText(texts_, next, idLength_), texts_.text(itext(9)),
                                     BoxIcon::Warning, BoxButtons::Ok);
                return;
            }
            fields_.count = static_cast<std::uint32_t>(next);
            // A stopped series gets its file anew from the next start.
            if (!running_)
                break;
            const BatchFileResult written =
                writeId(currentFile_, fields_.fillAddress, fields_.count, idLength_, bigEndian_);
            if (!written.ok)
                cannotPrepare(written);
            break;
        }
    }
    showFields();
    if (running_ && batchCaption_)
        batchCaption_(fields_.count);
}

bool BatchWindow::chipWriting() {
    std::lock_guard lock(mutex_);
    if (!chipStarting)
        return true;
    readFields();
    return chipStarting({batch_result::kUnknown, fields_.count, chipDocument()});
}

void BatchWindow::postResult(std::uint8_t code) {
    std::unique_lock lock(queueMutex_);
    results_.push_back(code);
    const std::uint64_t mine = ++posted_;
    queueChanged_.notify_all();
    // The next chip's wait acts on its own; everything else is a chip's
    // outcome or the end of its cycle, which the programmer shows next.
    if (code != batch_result::kNextChip)
        queueChanged_.wait(lock, [this, mine] { return quit_ || handled_ >= mine; });
}

void BatchWindow::waitUntilQuiet() {
    std::unique_lock lock(queueMutex_);
    queueChanged_.wait(lock, [this] { return results_.empty() && !busy_; });
}

void BatchWindow::threadLoop() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return quit_ || !results_.empty(); });
        if (quit_)
            return;
        const std::uint8_t code = results_.front();
        results_.pop_front();
        busy_ = true;
        const std::uint8_t last = lastCode_;
        lastCode_ = code;
        lock.unlock();
        // 32 after a chip that passed only ends its cycle; alone it is a failed step.
        const bool cycleEnd =
            code == batch_result::kCycleEnded &&
            (last == batch_result::kPassed || last == batch_result::kNextChip ||
             last == batch_result::kUnknown || last == batch_result::kProgrammerLost);
        if (!cycleEnd)
            handle(code);
        {
            // The cycle that could load them has reported: a series that
            // ended leaves none of its copies beside the user's files.
            std::lock_guard state(mutex_);
            if (!running_)
                removeTemporaryFiles();
        }
        lock.lock();
        ++handled_;
        busy_ = false;
        queueChanged_.notify_all();
    }
}

void BatchWindow::handle(std::uint8_t code) {
    // A chip that passed, or may hold its number, used that number up even
    // when the series was stopped meanwhile: the next chip never gets it.
    if (code == batch_result::kPassed || code == batch_result::kUnknown) {
        std::lock_guard state(mutex_);
        const bool goOn = report(code);
        advance();
        if (!goOn || !panel_.checked(kAutoStart) || code == batch_result::kUnknown)
            stopSeries();
        return;
    }
    if (code == batch_result::kNextChip) {
        bool again = false;
        {
            std::lock_guard state(mutex_);
            if (!running_)
                return;
            again = panel_.checked(kAutoStart);
            if (!again)
                stopSeries();
        }
        if (!again)
            return;
        clock_.sleepMs(kNextRequestDelayMs);
        std::lock_guard state(mutex_);
        if (running_)
            requestRun_(mode() == BatchMode::SameFile ? kRunAgain : kLoadAndRun);
        return;
    }
    std::lock_guard state(mutex_);
    if (code == batch_result::kProgrammerLost) {
        // No chip's outcome: the series ends where it stands.
        programmerLost_.store(running_);
    } else if (running_) {
        report(code);
    }
    stopSeries();
}

bool BatchWindow::report(std::uint8_t code) {
    if (!chipDone)
        return true;
    readFields();
    return chipDone({code, fields_.count, chipDocument()});
}

}  // namespace nyra
