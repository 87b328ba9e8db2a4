// Template 100, the About box, as data that both windows build from: the icon, the name and version
// line, the systems, the maker's lines, the link to the maker's site and OK.
#pragma once

#include "ui/dialog/dialog_template.h"

namespace pelorin::ui {

inline constexpr int kIdOk = 1;
inline constexpr int kIdcAboutLink = 1014;
inline constexpr int kIdcAboutVersion = 1015;
// The maker's site: the link's text and its target.
inline constexpr const char* kMakerUrl = "https://www.example.com/";

const DialogTemplate& AboutBoxTemplate();

}  // namespace pelorin::ui
