// Numbers the window reads out of texts: layout values, the crystal list's text, the port
// list's text.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelorin::ui {

// Leading blanks skipped, then decimal digits up to the first other character; no digit gives
// 0; values beyond 32 bits saturate.
uint32_t LeadingDecimal(std::string_view text);

// The crystal in kHz of a crystal list text: its leading number of MHz times 1000, truncated
// toward zero ("13.5 MHz" gives 13500); 0 when the text starts with no number.
uint16_t CrystalKhzOfText(std::string_view text);

// The port number of a port list text: the text after its first three characters, read as a
// decimal number ("COM12" gives 12, "COM33  USB serial" 33); 0 when there is none.
unsigned PortNumberOfText(std::string_view text);

}  // namespace pelorin::ui
