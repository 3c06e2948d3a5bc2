// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/listeners.h"

// The controls and menu items of one window, kept as data. The worker thread
// changes them while the window thread draws them, so every call is
// thread-safe; the window thread learns of changes by subscribing.
namespace nyra {

struct ControlState {
    bool enabled = true;
    bool visible = true;
    std::string text;
    std::vector<std::string> items;
    int currentIndex = -1;  // -1: nothing selected
    bool checked = false;

    friend bool operator==(const ControlState&, const ControlState&) = default;
};

struct MenuItemState {
    std::string caption;
    bool greyed = false;
    bool checked = false;

    friend bool operator==(const MenuItemState&, const MenuItemState&) = default;
};

enum class PanelProperty : std::uint8_t {
    Enabled,
    Visible,
    Text,
    Items,
    CurrentIndex,
    Checked,
    Caption,  // menu item
    Greyed,   // menu item
};

// What changed; the listener reads the new value from the Panel.
struct PanelChange {
    enum class Target : std::uint8_t { Control, MenuItem };
    Target target;
    int id;
    PanelProperty property;

    friend bool operator==(const PanelChange&, const PanelChange&) = default;
};

class Panel {
public:
    using Listener = Listeners<PanelChange>::Listener;
    using Token = Listeners<PanelChange>::Token;

    // Menu item states with the values of the Windows menu flags.
    static constexpr unsigned kMenuStateChecked = 0x8;
    static constexpr unsigned kMenuStateGreyed = 0x1 | 0x2;
    static constexpr unsigned kMenuStateMissing = 0xFFFFFFFFu;

    Panel() = default;
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // A control comes into being with the first setter called for it and
    // starts enabled, visible, empty and with nothing selected. Every setter returns true
    // when it changed something (and then published it).
    bool setEnabled(int id, bool enabled);
    bool setVisible(int id, bool visible);
    bool setText(int id, std::string text);
    // Replacing the items drops a selection that no longer exists.
    bool setItems(int id, std::vector<std::string> items);
    // Appends one item; returns its index.
    int addItem(int id, std::string item);
    bool clearItems(int id) { return setItems(id, {}); }
    // An index outside the items clears the selection, as a list box does.
    bool setCurrentIndex(int id, int index);
    bool setChecked(int id, bool checked);

    // The control and the menu command with the same id, together.
    bool disableControl(int id);
    bool enableControl(int id);

    bool hasControl(int id) const;
    ControlState control(int id) const;  // defaults for an unknown id
    bool enabled(int id) const;
    bool visible(int id) const;
    std::string text(int id) const;
    std::vector<std::string> items(int id) const;
    int currentIndex(int id) const;
    bool checked(int id) const;
    std::vector<int> controlIds() const;

    // Menu items exist only once added; changes to an id that has none are
    // ignored, as the menu itself ignores them.
    bool addMenuItem(int id, std::string caption = {}, bool greyed = false, bool checked = false);
    bool setMenuCaption(int id, std::string caption);
    bool setMenuGreyed(int id, bool greyed);
    bool greyMenuCommand(int id) { return setMenuGreyed(id, true); }
    bool enableMenuCommand(int id) { return setMenuGreyed(id, false); }
    bool setMenuChecked(int id, bool checked);

    bool hasMenuItem(int id) const;
    std::optional<MenuItemState> menuItem(int id) const;
    bool menuChecked(int id) const;
    bool menuGreyed(int id) const;
    // kMenuStateChecked and kMenuStateGreyed bits, or kMenuStateMissing.
    unsigned menuState(int id) const;
    std::vector<int> menuItemIds() const;

    // Listeners run on the thread that made the change, outside the Panel's
    // lock, so they may read or change the Panel. A listener must not throw;
    // one that does is skipped. Subscribe before reading the initial state,
    // so that no change can fall between the two.
    Token subscribe(Listener listener);
    // After unsubscribe returns, the listener is not called again and no call
    // is still running on another thread. It may be called from inside a
    // listener, including the listener being removed.
    bool unsubscribe(Token token);

private:
    using Changes = std::vector<PanelChange>;

    template <typename Mutate>
    bool mutateControl(int id, Mutate&& mutate);
    template <typename Mutate>
    bool mutateMenuItem(int id, Mutate&& mutate);
    void publish(const Changes& changes);

    mutable std::mutex mutex_;
    std::map<int, ControlState> controls_;
    std::map<int, MenuItemState> menu_;

    Listeners<PanelChange> listeners_;
};

}  // namespace nyra
