// Building a dialog from its template.
#include "ui/qt/dialog_controls.h"

#include "ui/dialog/control_ids.h"
#include "ui/qt/control_factory.h"
#include "ui/qt/dialog_units.h"

namespace pelorin::ui {

void DialogControls::Build(QDialog& owner, const DialogTemplate& dialog) {
    owner.setWindowTitle(
        QString::fromUtf8(dialog.caption.data(), qsizetype(dialog.caption.size())));
    const DialogBaseUnits base = BaseUnitsOf(owner.font());
    for (const ControlEntry& entry : dialog.controls) {
        QWidget* control = CreateControl(entry, base, &owner);
        if (entry.id != kIdcStatic) controls_[entry.id] = control;
    }
    owner.setFixedSize(DluToPixels(dialog.width, dialog.height, base));
}

QWidget* DialogControls::Find(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

}  // namespace pelorin::ui
