// The About box on Windows: template 100 with the icon, the name, version and build line, the
// maker's lines, the link to the maker's site (opened with the shell) and OK.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/dialog/about_template.h"

namespace pelorin::ui {

struct AboutBoxOptions {
    // Opens the link; null: the shell's "open" (ui/url_open.h). Returns above 32 on success.
    std::function<int(const std::string& url, int showCommand)> openUrl;
    std::string programName;  // captions the link's error box
    // Called once the box is shown (tests drive it from here).
    std::function<void(HWND)> onShown;
};

// Runs the box modally over `owner`.
void ShowAboutBox(HWND owner, const AboutBoxOptions& options);

// The link label's colours: not yet opened, opened, under the mouse.
inline constexpr COLORREF kLinkColour = RGB(0, 0, 238);
inline constexpr COLORREF kVisitedColour = RGB(85, 26, 139);
inline constexpr COLORREF kHoverColour = RGB(255, 0, 0);

}  // namespace pelorin::ui
