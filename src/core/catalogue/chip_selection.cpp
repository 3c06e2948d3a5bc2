// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/chip_selection.h"

namespace nyra {

std::string ListModel::currentText() const {
    if (current < 0 || static_cast<std::size_t>(current) >= items.size()) {
        return {};
    }
    return items[static_cast<std::size_t>(current)];
}

void ListModel::clear() {
    items.clear();
    current = -1;
}

bool ListModel::setCurrent(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return false;
    }
    current = index;
    return true;
}

int ListModel::indexOf(std::string_view text) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ChipSelection::ChipSelection(const ChipCatalogue& catalogue, SelectionWindow* window)
    : catalogue_(catalogue), window_(window) {}

void ChipSelection::note(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

void ChipSelection::notifyList(SelectionList which) {
    if (window_ != nullptr) {
        window_->listChanged(which);
    }
}

ListModel ChipSelection::typeList() const {
    std::lock_guard lock(listsMutex_);
    return types_;
}

ListModel ChipSelection::manufacturerList() const {
    std::lock_guard lock(listsMutex_);
    return manufacturers_;
}

ListModel ChipSelection::deviceList() const {
    std::lock_guard lock(listsMutex_);
    return devices_;
}

std::optional<std::uint32_t> ChipSelection::shownRecord() const {
    std::lock_guard lock(listsMutex_);
    const auto found = catalogue_.findChip(types_.currentText(), manufacturers_.currentText(),
                                           devices_.currentText());
    if (found.empty())
        return std::nullopt;
    return found.front();
}

void ChipSelection::startUp() {
    std::lock_guard lock(listsMutex_);
    if (catalogue_.count() == 0) {
        return;
    }
    fillTypeList();
    fillManufacturerList(false);
    fillDeviceList(false);
    computeParameters(selectedChip());
    applySelection();
}

namespace {

void appendAndSelectFirst(ListModel& list, std::vector<std::string> entries) {
    for (auto& entry : entries) {
        list.items.push_back(std::move(entry));
    }
    list.current = list.items.empty() ? -1 : 0;
}

}  // namespace

void ChipSelection::fillTypeList() {
    std::lock_guard lists(listsMutex_);
    auto entries = catalogue_.typeList();
    if (entries.size() > kTypeListRoom) {
        note("The chip catalogue has " + std::to_string(entries.size()) +
             " type groups; the lists are built for " + std::to_string(kTypeListRoom) + ".");
    }
    appendAndSelectFirst(types_, std::move(entries));
    notifyList(SelectionList::Type);
}

void ChipSelection::fillManufacturerList(bool reset) {
    std::lock_guard lists(listsMutex_);
    if (reset) {
        manufacturers_.clear();
    }
    const std::string type = types_.currentText();
    auto entries = catalogue_.manufacturerList(type);
    if (entries.size() > kManufacturerListRoom) {
        note("The chip catalogue has " + std::to_string(entries.size()) + " makers of " + type +
             "; the lists are built for " + std::to_string(kManufacturerListRoom) + ".");
    }
    appendAndSelectFirst(manufacturers_, std::move(entries));
    notifyList(SelectionList::Manufacturer);
}

void ChipSelection::fillDeviceList(bool reset) {
    std::lock_guard lists(listsMutex_);
    if (reset) {
        devices_.clear();
    }
    const std::string type = types_.currentText();
    const std::string maker = manufacturers_.currentText();
    auto entries = catalogue_.deviceList(type, maker);
    if (entries.size() > kDeviceListRoom) {
        note("The chip catalogue has " + std::to_string(entries.size()) + " chips of " + maker +
             " (" + type + "); the lists are built for " + std::to_string(kDeviceListRoom) + ".");
    }
    appendAndSelectFirst(devices_, std::move(entries));
    notifyList(SelectionList::Device);
}

bool ChipSelection::applySelection() {
    std::lock_guard lists(listsMutex_);
    const std::string type = types_.currentText();
    const std::string maker = manufacturers_.currentText();
    const std::string device = devices_.currentText();
    {
        std::lock_guard lock(mutex_);
        selectedType_ = type;
        selectedManufacturer_ = maker;
        selectedDevice_ = device;
    }
    const auto found = catalogue_.findChip(type, maker, device);
    if (found.empty()) {
        return true;
    }
    const std::uint32_t position = found.front();
    {
        std::lock_guard lock(mutex_);
        selectedChip_ = position;
    }
    computeParameters(position);

    const ChipRecord& record = *catalogue_.record(position);
    const std::uint32_t size = chipSize();
    const std::string capacity = nyra::capacityText(record.capacity, size);
    const auto qe = quadEnableFor(record, size);
    {
        std::lock_guard lock(mutex_);
        capacityText_ = capacity;
        if (qe) {
            qeDescriptor_ = *qe;
        }
        qeVisible_ = qe.has_value();
    }
    if (window_ == nullptr) {
        return true;
    }
    window_->setCapacityText(capacity);
    window_->updateRows();
    window_->setScrollRange();
    if (const auto picture = pinoutFor(record.operationType)) {
        window_->setPinoutPicture(*picture);
    }
    window_->updateChipChecksum();
    window_->refreshView();
    if (qe) {
        window_->setQeCheckBoxVisible(true);
        window_->setQeButtonVisible(true);
    } else {
        window_->setQeButtonVisible(false);
        window_->setQeCheckBoxVisible(false);
    }
    return true;
}

int ChipSelection::computeParameters(std::uint32_t position) {
    const ChipRecord* record = catalogue_.record(position);
    if (record == nullptr) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    chipSize_ = fillParameterBlock(*record, adapter_, block_);
    return 1;
}

bool ChipSelection::typeChanged(int index) {
    std::lock_guard lists(listsMutex_);
    if (!types_.setCurrent(index)) {
        return false;
    }
    notifyList(SelectionList::Type);
    fillManufacturerList(true);
    fillDeviceList(true);
    applySelection();
    return true;
}

bool ChipSelection::manufacturerChanged(int index) {
    std::lock_guard lists(listsMutex_);
    if (!manufacturers_.setCurrent(index)) {
        return false;
    }
    notifyList(SelectionList::Manufacturer);
    fillDeviceList(true);
    applySelection();
    return true;
}

bool ChipSelection::deviceChanged(int index) {
    std::lock_guard lists(listsMutex_);
    if (!devices_.setCurrent(index)) {
        return false;
    }
    notifyList(SelectionList::Device);
    applySelection();
    return true;
}

bool ChipSelection::selectRecord(std::uint32_t position) {
    std::lock_guard lists(listsMutex_);
    const ChipRecord* record = catalogue_.record(position);
    if (record == nullptr || !types_.setCurrent(types_.indexOf(record->type))) {
        return false;
    }
    notifyList(SelectionList::Type);
    fillManufacturerList(true);
    if (!manufacturers_.setCurrent(manufacturers_.indexOf(record->manufacturer))) {
        return false;
    }
    notifyList(SelectionList::Manufacturer);
    fillDeviceList(true);
    if (!devices_.setCurrent(devices_.indexOf(record->device))) {
        return false;
    }
    notifyList(SelectionList::Device);
    applySelection();
    return true;
}

std::string ChipSelection::chipInformation() const {
    std::lock_guard lock(mutex_);
    // With no catalogue the slot still holds its blank texts.
    const ChipRecord* record = catalogue_.slot(selectedChip_);
    return chipInformationText(selectedChip_, record != nullptr ? *record : ChipRecord{}, block_);
}

void ChipSelection::showChipInformation() {
    if (messages_) {
        messages_(chipInformation(), kChipInformationCaption, MessageIcon::Information);
    }
}

std::uint32_t ChipSelection::selectedChip() const {
    std::lock_guard lock(mutex_);
    return selectedChip_;
}

std::string ChipSelection::selectedType() const {
    std::lock_guard lock(mutex_);
    return selectedType_;
}

std::string ChipSelection::selectedManufacturer() const {
    std::lock_guard lock(mutex_);
    return selectedManufacturer_;
}

std::string ChipSelection::selectedDevice() const {
    std::lock_guard lock(mutex_);
    return selectedDevice_;
}

std::uint32_t ChipSelection::chipSize() const {
    std::lock_guard lock(mutex_);
    return chipSize_;
}

std::string ChipSelection::capacityText() const {
    std::lock_guard lock(mutex_);
    return capacityText_;
}

QeDescriptor ChipSelection::qeDescriptor() const {
    std::lock_guard lock(mutex_);
    return qeDescriptor_;
}

bool ChipSelection::qeControlsVisible() const {
    std::lock_guard lock(mutex_);
    return qeVisible_;
}

ChipParameterBlock ChipSelection::parameterBlock() const {
    std::lock_guard lock(mutex_);
    return block_;
}

void ChipSelection::modifyParameterBlock(const std::function<void(ChipParameterBlock&)>& change) {
    std::lock_guard lock(mutex_);
    change(block_);
}

bool ChipSelection::adapterFlag() const {
    std::lock_guard lock(mutex_);
    return adapter_;
}

void ChipSelection::setAdapterFlag(bool on) {
    std::lock_guard lock(mutex_);
    adapter_ = on;
    block_.setAdapter(on);
}

}  // namespace nyra
