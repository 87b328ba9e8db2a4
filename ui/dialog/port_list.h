// The serial port list: one item per port, its name followed by what the system says about
// the device, kept sorted as the list control sorts its items.
#pragma once

#include <QComboBox>
#include <string>
#include <vector>

#include "serial/port_enum.h"

namespace pelorin::ui {

// "COM33  /dev/ttyUSB0 (FT232R USB UART)": the name first, so the port number stays readable
// after the three letters.
std::string PortItemText(const SerialPortInfo& port);
// Adds `text` at its sorted place (case-insensitive) and returns its index.
int AddSorted(QComboBox& list, const QString& text);
void FillPortList(QComboBox& list, const std::vector<SerialPortInfo>& ports);

}  // namespace pelorin::ui
