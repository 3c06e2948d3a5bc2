// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/panel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/panel_menu_state.h"

namespace nyra {
namespace {

using Target = PanelChange::Target;

// Collects the events of one Panel.
class Recorder {
public:
    explicit Recorder(Panel& panel) : panel_(panel) {
        token_ = panel.subscribe([this](const PanelChange& change) {
            std::lock_guard lock(mutex_);
            events_.push_back(change);
        });
    }
    ~Recorder() { panel_.unsubscribe(token_); }

    std::vector<PanelChange> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    Panel& panel_;
    Panel::Token token_;
    std::mutex mutex_;
    std::vector<PanelChange> events_;
};

TEST(PanelControls, UnknownControlsReadAsDefaults) {
    Panel panel;
    EXPECT_FALSE(panel.hasControl(1020));
    EXPECT_TRUE(panel.enabled(1020));
    EXPECT_TRUE(panel.visible(1020));
    EXPECT_EQ(panel.currentIndex(1020), -1);
    EXPECT_EQ(panel.control(1020), ControlState{});
}

TEST(PanelControls, EventsOnlyWhenSomethingChanges) {
    Panel panel;
    Recorder recorder(panel);

    EXPECT_TRUE(panel.setText(1018, "busy"));
    EXPECT_FALSE(panel.setText(1018, "busy"));
    EXPECT_FALSE(panel.setEnabled(1020, true));  // already enabled
    EXPECT_TRUE(panel.setEnabled(1020, false));
    EXPECT_FALSE(panel.setEnabled(1020, false));
    EXPECT_TRUE(panel.setVisible(1031, false));
    EXPECT_TRUE(panel.setChecked(1006, true));
    EXPECT_FALSE(panel.setChecked(1006, true));

    const std::vector<PanelChange> expected{
        {Target::Control, 1018, PanelProperty::Text},
        {Target::Control, 1020, PanelProperty::Enabled},
        {Target::Control, 1031, PanelProperty::Visible},
        {Target::Control, 1006, PanelProperty::Checked},
    };
    EXPECT_EQ(recorder.take(), expected);
    EXPECT_EQ(panel.text(1018), "busy");
    EXPECT_FALSE(panel.enabled(1020));
}

TEST(PanelControls, ListSelectionFollowsItems) {
    Panel panel;
    EXPECT_EQ(panel.addItem(1016, "W25Q80"), 0);
    EXPECT_EQ(panel.addItem(1016, "W25Q16"), 1);
    EXPECT_TRUE(panel.setCurrentIndex(1016, 1));
    Recorder recorder(panel);

    // A shorter list drops the selection that pointed past its end.
    EXPECT_TRUE(panel.setItems(1016, {"MX25L80"}));
    EXPECT_EQ(panel.currentIndex(1016), -1);
    const std::vector<PanelChange> expected{
        {Target::Control, 1016, PanelProperty::Items},
        {Target::Control, 1016, PanelProperty::CurrentIndex},
    };
    EXPECT_EQ(recorder.take(), expected);

    EXPECT_TRUE(panel.setCurrentIndex(1016, 0));
    EXPECT_TRUE(panel.setCurrentIndex(1016, 5));  // out of range: no selection
    EXPECT_EQ(panel.currentIndex(1016), -1);
    EXPECT_FALSE(panel.setCurrentIndex(1016, -7));
    EXPECT_TRUE(panel.clearItems(1016));
    EXPECT_TRUE(panel.items(1016).empty());
}

TEST(PanelControls, SnapshotIsACopy) {
    Panel panel;
    panel.setItems(1014, {"24 EEPROM", "25 SPI FLASH"});
    ControlState snapshot = panel.control(1014);
    snapshot.items.push_back("93 EEPROM");
    panel.addItem(1014, "95 EEPROM");
    EXPECT_EQ(panel.items(1014),
              (std::vector<std::string>{"24 EEPROM", "25 SPI FLASH", "95 EEPROM"}));
    EXPECT_EQ(snapshot.items.back(), "93 EEPROM");
}

TEST(PanelMenu, ChangesToMissingItemsAreIgnored) {
    Panel panel;
    Recorder recorder(panel);
    EXPECT_FALSE(panel.greyMenuCommand(32790));
    EXPECT_FALSE(panel.setMenuChecked(32809, true));
    EXPECT_FALSE(panel.hasMenuItem(32790));
    EXPECT_EQ(panel.menuState(32790), Panel::kMenuStateMissing);
    EXPECT_TRUE(recorder.take().empty());
}

TEST(PanelMenu, StateBitsMatchTheMenuFlags) {
    Panel panel;
    panel.addMenuItem(32809, "Sounds");
    EXPECT_EQ(panel.menuState(32809), 0u);
    panel.setMenuChecked(32809, true);
    EXPECT_EQ(panel.menuState(32809), 0x8u);
    panel.greyMenuCommand(32809);
    EXPECT_EQ(panel.menuState(32809), 0x8u | 0x3u);
    panel.setMenuChecked(32809, false);
    EXPECT_EQ(panel.menuState(32809), 0x3u);
    EXPECT_TRUE(panel.menuGreyed(32809));
    EXPECT_FALSE(panel.menuChecked(32809));
}

TEST(PanelMenu, AddingAnItemAnnouncesAllItsProperties) {
    Panel panel;
    Recorder recorder(panel);
    EXPECT_TRUE(panel.addMenuItem(32806, "Save", true));
    EXPECT_EQ(recorder.take().size(), 3u);
    EXPECT_FALSE(panel.addMenuItem(32806, "Save", true));
    EXPECT_TRUE(panel.addMenuItem(32806, "Save file", true));
    const std::vector<PanelChange> expected{{Target::MenuItem, 32806, PanelProperty::Caption}};
    EXPECT_EQ(recorder.take(), expected);
    EXPECT_EQ(panel.menuItem(32806)->caption, "Save file");
}

TEST(PanelMenu, DisableControlGreysTheMenuCommandWithTheSameId) {
    Panel panel;
    panel.addMenuItem(1020, "Erase");
    Recorder recorder(panel);

    EXPECT_TRUE(panel.disableControl(1020));
    EXPECT_FALSE(panel.enabled(1020));
    EXPECT_TRUE(panel.menuGreyed(1020));
    std::vector<PanelChange> expected{
        {Target::Control, 1020, PanelProperty::Enabled},
        {Target::MenuItem, 1020, PanelProperty::Greyed},
    };
    EXPECT_EQ(recorder.take(), expected);

    EXPECT_FALSE(panel.disableControl(1020));
    EXPECT_TRUE(panel.enableControl(1020));
    EXPECT_TRUE(panel.enabled(1020));
    EXPECT_FALSE(panel.menuGreyed(1020));

    // A control with no menu command only changes itself.
    recorder.take();
    EXPECT_TRUE(panel.disableControl(1183));
    expected = {{Target::Control, 1183, PanelProperty::Enabled}};
    EXPECT_EQ(recorder.take(), expected);
    EXPECT_FALSE(panel.hasMenuItem(1183));
}

TEST(PanelMenu, GreyingTheMenuAloneLeavesTheControl) {
    Panel panel;
    panel.addMenuItem(1004, "Open");
    panel.greyMenuCommand(1004);
    EXPECT_TRUE(panel.enabled(1004));
    EXPECT_TRUE(panel.menuGreyed(1004));
}

TEST(PanelMenu, AdapterServesTheSwitches) {
    Panel panel;
    panel.addMenuItem(32811, "Auto identify");
    PanelMenuState menu(panel);
    EXPECT_EQ(menu.menuState(32811), 0u);
    menu.setChecked(32811, true);
    EXPECT_TRUE(panel.menuChecked(32811));
    EXPECT_EQ(menu.menuState(32811), kMenuChecked);
    EXPECT_EQ(menu.menuState(32899), Panel::kMenuStateMissing);
}

TEST(PanelSubscribers, ListenerMayReadAndChangeThePanel) {
    Panel panel;
    std::vector<std::string> seen;
    panel.subscribe([&](const PanelChange& change) {
        if (change.id == 1018) {
            seen.push_back(panel.text(1018));
            panel.setText(1101, panel.text(1101) + panel.text(1018) + ";");
        }
    });
    panel.setText(1018, "a");
    panel.setText(1018, "b");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(panel.text(1101), "a;b;");
}

TEST(PanelSubscribers, UnsubscribedListenerHearsNothingMore) {
    Panel panel;
    int first = 0;
    int second = 0;
    const auto token = panel.subscribe([&](const PanelChange&) { ++first; });
    panel.subscribe([&](const PanelChange&) { ++second; });
    panel.setText(1018, "x");
    EXPECT_TRUE(panel.unsubscribe(token));
    EXPECT_FALSE(panel.unsubscribe(token));
    panel.setText(1018, "y");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

TEST(PanelSubscribers, ThrowingListenerDoesNotStopOthers) {
    Panel panel;
    int calls = 0;
    panel.subscribe([](const PanelChange&) { throw std::runtime_error("listener fault"); });
    panel.subscribe([&](const PanelChange&) { ++calls; });
    EXPECT_TRUE(panel.setText(1018, "x"));
    EXPECT_EQ(calls, 1);
}

TEST(PanelSubscribers, UnsubscribeFromInsideItsOwnListener) {
    Panel panel;
    int calls = 0;
    Panel::Token token = 0;
    token = panel.subscribe([&](const PanelChange&) {
        ++calls;
        EXPECT_TRUE(panel.unsubscribe(token));
    });
    // One mutation publishing two events: the second must not reach it.
    panel.addMenuItem(1020);
    panel.disableControl(1020);
    EXPECT_EQ(calls, 1);
}

TEST(PanelSubscribers, UnsubscribeWaitsForADeliveryOnAnotherThread) {
    Panel panel;
    std::mutex mutex;
    std::condition_variable cv;
    bool inside = false;
    bool release = false;
    std::atomic<bool> finished{false};
    std::atomic<int> callsAfterUnsubscribe{0};
    std::atomic<bool> unsubscribed{false};

    const auto token = panel.subscribe([&](const PanelChange&) {
        if (unsubscribed.load())
            ++callsAfterUnsubscribe;
        std::unique_lock lock(mutex);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        finished = true;
    });

    std::thread worker([&] { panel.setText(1018, "job"); });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return inside; });
    }
    std::thread remover([&] {
        panel.unsubscribe(token);
        unsubscribed = true;
        // The listener's call had ended before unsubscribe returned.
        EXPECT_TRUE(finished.load());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(unsubscribed.load());
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    cv.notify_all();
    remover.join();
    worker.join();
    panel.setText(1018, "after");
    EXPECT_EQ(callsAfterUnsubscribe.load(), 0);
}

TEST(PanelSubscribers, ConcurrentMutationsFromTwoThreads) {
    Panel panel;
    panel.addMenuItem(1021);
    std::atomic<int> events{0};
    std::atomic<bool> stop{false};
    const auto token = panel.subscribe([&](const PanelChange& change) {
        ++events;
        // Read back while the other thread writes, as the window thread does.
        (void)panel.control(change.id);
        (void)panel.menuState(1021);
    });

    constexpr int kRounds = 2000;
    std::thread worker([&] {
        for (int i = 0; i < kRounds; ++i) {
            panel.disableControl(1021);
            panel.setText(1018, "step " + std::to_string(i));
            panel.enableControl(1021);
        }
    });
    std::thread window([&] {
        for (int i = 0; i < kRounds; ++i) {
            panel.addItem(1016, std::to_string(i));
            panel.setCurrentIndex(1016, i);
        }
    });
    std::thread churn([&] {
        while (!stop.load()) {
            const auto extra = panel.subscribe([](const PanelChange&) {});
            panel.unsubscribe(extra);
        }
    });
    worker.join();
    window.join();
    stop = true;
    churn.join();
    panel.unsubscribe(token);

    // Every mutation changed something, so every one was announced.
    EXPECT_EQ(events.load(), kRounds * 5 + kRounds * 2);
    EXPECT_EQ(panel.items(1016).size(), static_cast<std::size_t>(kRounds));
    EXPECT_EQ(panel.currentIndex(1016), kRounds - 1);
    EXPECT_EQ(panel.text(1018), "step " + std::to_string(kRounds - 1));
    EXPECT_TRUE(panel.enabled(1021));
    EXPECT_FALSE(panel.menuGreyed(1021));
}

}  // namespace
}  // namespace nyra
