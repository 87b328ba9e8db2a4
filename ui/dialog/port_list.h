// Items of the serial port list: one per port, its name followed by what the system says about
// the device, kept sorted as the list control sorts its items.
#pragma once

#include <string>
#include <vector>

#include "serial/port_enum.h"
#include "ui/dialog/dialog_surface.h"

namespace pelorin::ui {

// "COM33  /dev/ttyUSB0 (FT232R USB UART)": the name first, so the port number stays readable
// after the three letters.
std::string PortItemText(const SerialPortInfo& port);
// Adds `text` to list `id` at its sorted place (case-insensitive) and returns its index.
int AddSorted(IDialogSurface& surface, int id, const std::string& text);
void FillPortList(IDialogSurface& surface, int id, const std::vector<SerialPortInfo>& ports);

}  // namespace pelorin::ui
