// Items of the serial port list.
#include "ui/dialog/port_list.h"

#include <algorithm>
#include <cctype>

namespace pelorin::ui {
namespace {

bool NotAfter(const std::string& a, const std::string& b) {
    return !std::lexicographical_compare(
        b.begin(), b.end(), a.begin(), a.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

}  // namespace

std::string PortItemText(const SerialPortInfo& port) {
    if (port.description.empty()) return port.name;
    return port.name + "  " + port.description;
}

int AddSorted(IDialogSurface& surface, int id, const std::string& text) {
    int index = 0;
    const int count = surface.ItemCount(id);
    while (index < count && NotAfter(surface.ItemText(id, index), text)) ++index;
    surface.InsertItem(id, index, text);
    return index;
}

void FillPortList(IDialogSurface& surface, int id, const std::vector<SerialPortInfo>& ports) {
    for (const SerialPortInfo& port : ports) AddSorted(surface, id, PortItemText(port));
}

}  // namespace pelorin::ui
