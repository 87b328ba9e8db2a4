// Items of the serial port list.
#include "ui/port_list.h"

namespace pelorin::ui {

std::string PortItemText(const SerialPortInfo& port) {
    if (port.description.empty()) return port.name;
    return port.name + "  " + port.description;
}

int AddSorted(QComboBox& list, const QString& text) {
    int index = 0;
    while (index < list.count() &&
           QString::compare(list.itemText(index), text, Qt::CaseInsensitive) <= 0)
        ++index;
    list.insertItem(index, text);
    return index;
}

void FillPortList(QComboBox& list, const std::vector<SerialPortInfo>& ports) {
    for (const SerialPortInfo& port : ports)
        AddSorted(list, QString::fromStdString(PortItemText(port)));
}

}  // namespace pelorin::ui
