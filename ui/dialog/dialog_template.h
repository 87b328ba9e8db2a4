// The main window as data: every control with its id, kind, text and place in dialog units,
// the way a dialog resource describes it. The window is built from this table.
#pragma once

#include <span>
#include <string_view>

namespace pelorin::ui {

enum class ControlKind {
    Label,         // static text, left-aligned
    RightLabel,    // static text, right-aligned
    GroupFrame,    // frame without a caption
    DropDownList,  // list without an edit field
    SortedDropDownList,
    ReadOnlyEdit,
    ReadOnlyMultiLineEdit,  // with a vertical scroll bar
    PushButton,
    DefaultPushButton,  // also answers the Enter key
    ProgressBar,
    Icon,       // the application's icon, at its own size
    LinkLabel,  // a web link; its text is also its url
};

// x, y, width, height in dialog units; a list's height includes its dropped-down part.
struct DluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlEntry {
    int id;
    ControlKind kind;
    std::string_view text;
    DluRect place;
    std::span<const std::string_view> items = {};  // fixed items of a list
    bool disabled = false;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int width;  // dialog units
    int height;
    std::span<const ControlEntry> controls;
};

// Template 102, the main window.
const DialogTemplate& MainWindowTemplate();
// The template entry of control `id` in `dialog`, or null.
const ControlEntry* FindControl(const DialogTemplate& dialog, int id);

}  // namespace pelorin::ui
