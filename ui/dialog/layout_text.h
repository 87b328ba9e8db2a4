// The layout's bytes as the editor's text and back: UTF-8 when they are, else one byte per
// character (Latin-1), so that a layout in another encoding survives an edit unchanged.
#pragma once

#include <string>
#include <string_view>

#include "base/line_ends.h"

namespace pelorin::ui {

bool IsValidUtf8(std::string_view bytes);
std::string Latin1ToUtf8(std::string_view bytes);
// Characters beyond Latin-1 become '?'.
std::string Utf8ToLatin1(std::string_view text);
// `text` with every line longer than `maxBytes` replaced by a note of its length.
std::string WithoutOverlongLines(std::string_view text, size_t maxBytes);

}  // namespace pelorin::ui
