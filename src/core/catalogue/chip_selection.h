// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "catalogue/chip_parameter_block.h"
#include "catalogue/chip_parameters.h"
#include "catalogue/message_sink.h"

namespace nyra {

// A drop-down list as data: the window shows it, the selection logic fills it.
struct ListModel {
    std::vector<std::string> items;
    int current = -1;

    std::string currentText() const;
    void clear();
    // Selects index when it names an item; false otherwise.
    bool setCurrent(int index);
    // First item equal to text, or -1.
    int indexOf(std::string_view text) const;
};

enum class SelectionList { Type, Manufacturer, Device };

// What a selection changes outside the lists. Every hook does nothing by
// default, so a window binds only what it shows.
class SelectionWindow {
public:
    virtual ~SelectionWindow() = default;
    virtual void listChanged(SelectionList) {}
    virtual void setCapacityText(const std::string&) {}
    virtual void updateRows() {}
    virtual void setScrollRange() {}
    virtual void setPinoutPicture(PinoutPicture) {}
    virtual void updateChipChecksum() {}
    virtual void refreshView() {}
    virtual void setQeCheckBoxVisible(bool) {}
    virtual void setQeButtonVisible(bool) {}
};

// The three linked lists, the selected chip and the parameters that every
// command carries. The window thread (a user's choice) and the worker
// (identification) both change the lists; each change runs whole under the
// lists' lock, and the window hears of all three lists after it.
class ChipSelection {
public:
    // What the lists are built for; a catalogue beyond that is still listed
    // in full, with a note in the log.
    static constexpr std::size_t kTypeListRoom = 6;
    static constexpr std::size_t kManufacturerListRoom = 100;
    static constexpr std::size_t kDeviceListRoom = 134;

    explicit ChipSelection(const ChipCatalogue& catalogue, SelectionWindow* window = nullptr);

    void setWindow(SelectionWindow* window) { window_ = window; }
    void setMessageSink(MessageSink messages) { messages_ = std::move(messages); }
    void setLogSink(LogSink log) { log_ = std::move(log); }

    // After a successful load: fill the lists and select the first chip.
    void startUp();

    void fillTypeList();
    void fillManufacturerList(bool reset);
    void fillDeviceList(bool reset);
    // Makes the chip the lists name the selected chip. Always true.
    bool applySelection();
    // 0 when the position is outside the catalogue, else 1.
    int computeParameters(std::uint32_t position);

    // Selection-changed notifications of the three lists; false when the
    // index names no entry (nothing changes then).
    bool typeChanged(int index);
    bool manufacturerChanged(int index);
    bool deviceChanged(int index);
    // Shows a record in the three lists and applies it.
    bool selectRecord(std::uint32_t position);

    void showChipInformation();
    std::string chipInformation() const;

    ListModel typeList() const;
    ListModel manufacturerList() const;
    ListModel deviceList() const;
    // The record the three lists show, if the catalogue has it.
    std::optional<std::uint32_t> shownRecord() const;

    std::uint32_t selectedChip() const;
    std::string selectedType() const;
    std::string selectedManufacturer() const;
    std::string selectedDevice() const;
    std::uint32_t chipSize() const;
    std::string capacityText() const;
    QeDescriptor qeDescriptor() const;
    bool qeControlsVisible() const;

    ChipParameterBlock parameterBlock() const;
    // Changes the shared block under its lock (command code and arguments).
    void modifyParameterBlock(const std::function<void(ChipParameterBlock&)>& change);

    bool adapterFlag() const;
    // Also sets or clears bit 7 of byte 2 at once.
    void setAdapterFlag(bool on);

private:
    void note(const std::string& line) const;
    void notifyList(SelectionList which);

    const ChipCatalogue& catalogue_;
    SelectionWindow* window_ = nullptr;
    MessageSink messages_;
    LogSink log_;

    // Recursive: the window's list hooks read the lists during a change.
    mutable std::recursive_mutex listsMutex_;
    ListModel types_;
    ListModel manufacturers_;
    ListModel devices_;

    mutable std::mutex mutex_;
    std::uint32_t selectedChip_ = 0;
    std::string selectedType_;
    std::string selectedManufacturer_;
    std::string selectedDevice_;
    std::uint32_t chipSize_ = 0;
    std::string capacityText_;
    ChipParameterBlock block_;
    QeDescriptor qeDescriptor_{0, 0};
    bool qeVisible_ = false;
    bool adapter_ = false;
};

}  // namespace nyra
