// A dialog's controls, built from its template and found by id.
#pragma once

#include <QDialog>
#include <map>

#include "ui/dialog/dialog_template.h"

namespace pelorin::ui {

class DialogControls {
  public:
    // Gives `owner` the template's caption, every control and its fixed size in pixels, all
    // from the owner's font.
    void Build(QDialog& owner, const DialogTemplate& dialog);
    // A control made outside the template (the status bar).
    void Add(int id, QWidget* control) { controls_[id] = control; }
    // The control `id`, or null.
    QWidget* Find(int id) const;

  private:
    std::map<int, QWidget*> controls_;
};

}  // namespace pelorin::ui
