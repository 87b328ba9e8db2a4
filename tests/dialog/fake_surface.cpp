// The recording surface.
#include "fake_surface.h"

#include <stdexcept>

#include "ui/dialog/dialog_units.h"

namespace pelorin::testing {

using ui::ControlKind;

FakeSurface::FakeSurface(const ui::DialogTemplate& dialog, int baseUnitX_)
    : caption(dialog.caption),
      baseUnitX(baseUnitX_),
      width(ui::DluToPixelsX(dialog.width, {baseUnitX_, 13})) {
    for (const ui::ControlEntry& entry : dialog.controls) {
        if (entry.id < 0) continue;
        FakeControl& control = controls[entry.id];
        control.kind = entry.kind;
        control.text = std::string(entry.text);
        for (std::string_view item : entry.items) control.items.emplace_back(item);
        control.enabled = !entry.disabled;
        control.readOnly = entry.kind == ControlKind::ReadOnlyEdit ||
                           entry.kind == ControlKind::ReadOnlyMultiLineEdit;
    }
}

FakeControl& FakeSurface::At(int id) {
    const auto found = controls.find(id);
    if (found == controls.end()) throw std::out_of_range("no control " + std::to_string(id));
    return found->second;
}

const FakeControl& FakeSurface::At(int id) const {
    return const_cast<FakeSurface*>(this)->At(id);
}

void FakeSurface::InsertItem(int id, int index, const std::string& text) {
    auto& items = At(id).items;
    items.insert(items.begin() + index, text);
}

std::string FakeSurface::ItemText(int id, int index) const {
    const auto& items = At(id).items;
    return index >= 0 && size_t(index) < items.size() ? items[size_t(index)] : std::string();
}

void FakeSurface::Select(int id, int index) {
    At(id).selection = index >= 0 && index < ItemCount(id) ? index : -1;
}

// A list's text is its chosen item, as a drop-down list shows it.
std::string FakeSurface::Text(int id) const {
    const FakeControl& control = At(id);
    if (control.kind == ControlKind::DropDownList ||
        control.kind == ControlKind::SortedDropDownList)
        return ItemText(id, control.selection);
    return control.text;
}

void FakeSurface::RunDeferred() {
    while (!deferred.empty()) {
        auto call = std::move(deferred.front());
        deferred.pop_front();
        call();
    }
}

}  // namespace pelorin::testing
