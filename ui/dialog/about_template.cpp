// Template 100: the About box's controls, their texts and places.
#include "ui/dialog/about_template.h"

#include "ui/dialog/control_ids.h"

namespace pelorin::ui {
namespace {

using K = ControlKind;

// The texts stand in one column right of the icon; the maker's lines are placeholders.
constexpr ControlEntry kControls[] = {
    {kIdcStatic, K::Icon, "", {11, 12, 21, 20}},
    {kIdcAboutVersion, K::Label, "Downloader Application", {42, 10, 196, 18}},
    {kIdcStatic, K::Label, "For Windows98, 2000, NT and XP.", {42, 31, 196, 8}},
    {kIdcStatic,
     K::Label,
     "Copyright (C) Example Maker Ltd. All rights reserved.",
     {42, 45, 196, 8}},
    {kIdcStatic, K::Label, "Author: Example Author", {42, 55, 196, 8}},
    {kIdcStatic, K::Label, "Tel: +00 0000 000000", {42, 65, 196, 8}},
    {kIdcStatic, K::Label, "Fax: +00 0000 000001", {42, 75, 196, 8}},
    {kIdcStatic, K::Label, "Example Maker Ltd.", {42, 85, 196, 8}},
    {kIdcStatic, K::Label, "Mail: info@example.com", {42, 95, 196, 8}},
    {kIdcAboutLink, K::LinkLabel, kMakerUrl, {42, 108, 196, 8}},
    {kIdOk, K::DefaultPushButton, "&OK", {188, 122, 50, 14}},
};

constexpr DialogTemplate kAboutBox = {100, "About Downloader", 248, 144, kControls};

}  // namespace

const DialogTemplate& AboutBoxTemplate() {
    return kAboutBox;
}

}  // namespace pelorin::ui
