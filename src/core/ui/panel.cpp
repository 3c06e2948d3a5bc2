// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/panel.h"

#include <algorithm>
#include <utility>

namespace nyra {

namespace {

using Target = PanelChange::Target;

template <typename T>
bool assign(T& field, T value) {
    if (field == value)
        return false;
    field = std::move(value);
    return true;
}

}  // namespace

template <typename Mutate>
bool Panel::mutateControl(int id, Mutate&& mutate) {
    Changes changes;
    {
        std::lock_guard lock(mutex_);
        mutate(controls_[id], changes);
    }
    if (changes.empty())
        return false;
    publish(changes);
    return true;
}

template <typename Mutate>
bool Panel::mutateMenuItem(int id, Mutate&& mutate) {
    Changes changes;
    {
        std::lock_guard lock(mutex_);
        const auto it = menu_.find(id);
        if (it == menu_.end())
            return false;
        mutate(it->second, changes);
    }
    if (changes.empty())
        return false;
    publish(changes);
    return true;
}

bool Panel::setEnabled(int id, bool enabled) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        if (assign(c.enabled, enabled))
            out.push_back({Target::Control, id, PanelProperty::Enabled});
    });
}

bool Panel::setVisible(int id, bool visible) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        if (assign(c.visible, visible))
            out.push_back({Target::Control, id, PanelProperty::Visible});
    });
}

bool Panel::setText(int id, std::string text) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        if (assign(c.text, std::move(text))) {
            out.push_back({Target::Control, id, PanelProperty::Text});
        }
    });
}

bool Panel::setItems(int id, std::vector<std::string> items) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        if (!assign(c.items, std::move(items)))
            return;
        out.push_back({Target::Control, id, PanelProperty::Items});
        if (c.currentIndex >= static_cast<int>(c.items.size())) {
            c.currentIndex = -1;
            out.push_back({Target::Control, id, PanelProperty::CurrentIndex});
        }
    });
}

int Panel::addItem(int id, std::string item) {
    int index = -1;
    mutateControl(id, [&](ControlState& c, Changes& out) {
        c.items.push_back(std::move(item));
        index = static_cast<int>(c.items.size()) - 1;
        out.push_back({Target::Control, id, PanelProperty::Items});
    });
    return index;
}

bool Panel::setCurrentIndex(int id, int index) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        const bool inRange = index >= 0 && index < static_cast<int>(c.items.size());
        if (assign(c.currentIndex, inRange ? index : -1)) {
            out.push_back({Target::Control, id, PanelProperty::CurrentIndex});
        }
    });
}

bool Panel::setChecked(int id, bool checked) {
    return mutateControl(id, [&](ControlState& c, Changes& out) {
        if (assign(c.checked, checked))
            out.push_back({Target::Control, id, PanelProperty::Checked});
    });
}

bool Panel::disableControl(int id) {
    const bool control = setEnabled(id, false);
    const bool menu = greyMenuCommand(id);
    return control || menu;
}

bool Panel::enableControl(int id) {
    const bool control = setEnabled(id, true);
    const bool menu = enableMenuCommand(id);
    return control || menu;
}

bool Panel::hasControl(int id) const {
    std::lock_guard lock(mutex_);
    return controls_.contains(id);
}

ControlState Panel::control(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? ControlState{} : it->second;
}

bool Panel::enabled(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? ControlState{}.enabled : it->second.enabled;
}

bool Panel::visible(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? ControlState{}.visible : it->second.visible;
}

std::string Panel::text(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? std::string{} : it->second.text;
}

std::vector<std::string> Panel::items(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? std::vector<std::string>{} : it->second.items;
}

int Panel::currentIndex(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? ControlState{}.currentIndex : it->second.currentIndex;
}

bool Panel::checked(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it != controls_.end() && it->second.checked;
}

std::vector<int> Panel::controlIds() const {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    ids.reserve(controls_.size());
    for (const auto& entry : controls_)
        ids.push_back(entry.first);
    return ids;
}

bool Panel::addMenuItem(int id, std::string caption, bool greyed, bool checked) {
    Changes changes;
    {
        std::lock_guard lock(mutex_);
        const auto [it, added] = menu_.try_emplace(id);
        MenuItemState& item = it->second;
        if (assign(item.caption, std::move(caption)) || added) {
            changes.push_back({Target::MenuItem, id, PanelProperty::Caption});
        }
        if (assign(item.greyed, greyed) || added) {
            changes.push_back({Target::MenuItem, id, PanelProperty::Greyed});
        }
        if (assign(item.checked, checked) || added) {
            changes.push_back({Target::MenuItem, id, PanelProperty::Checked});
        }
    }
    if (changes.empty())
        return false;
    publish(changes);
    return true;
}

bool Panel::setMenuCaption(int id, std::string caption) {
    return mutateMenuItem(id, [&](MenuItemState& m, Changes& out) {
        if (assign(m.caption, std::move(caption))) {
            out.push_back({Target::MenuItem, id, PanelProperty::Caption});
        }
    });
}

bool Panel::setMenuGreyed(int id, bool greyed) {
    return mutateMenuItem(id, [&](MenuItemState& m, Changes& out) {
        if (assign(m.greyed, greyed))
            out.push_back({Target::MenuItem, id, PanelProperty::Greyed});
    });
}

bool Panel::setMenuChecked(int id, bool checked) {
    return mutateMenuItem(id, [&](MenuItemState& m, Changes& out) {
        if (assign(m.checked, checked))
            out.push_back({Target::MenuItem, id, PanelProperty::Checked});
    });
}

bool Panel::hasMenuItem(int id) const {
    std::lock_guard lock(mutex_);
    return menu_.contains(id);
}

std::optional<MenuItemState> Panel::menuItem(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = menu_.find(id);
    if (it == menu_.end())
        return std::nullopt;
    return it->second;
}

bool Panel::menuChecked(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = menu_.find(id);
    return it != menu_.end() && it->second.checked;
}

bool Panel::menuGreyed(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = menu_.find(id);
    return it != menu_.end() && it->second.greyed;
}

unsigned Panel::menuState(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = menu_.find(id);
    if (it == menu_.end())
        return kMenuStateMissing;
    return (it->second.checked ? kMenuStateChecked : 0u) |
           (it->second.greyed ? kMenuStateGreyed : 0u);
}

std::vector<int> Panel::menuItemIds() const {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    ids.reserve(menu_.size());
    for (const auto& entry : menu_)
        ids.push_back(entry.first);
    return ids;
}

Panel::Token Panel::subscribe(Listener listener) {
    return listeners_.add(std::move(listener));
}

bool Panel::unsubscribe(Token token) {
    return listeners_.remove(token);
}

void Panel::publish(const Changes& changes) {
    listeners_.publish(changes);
}

}  // namespace nyra
