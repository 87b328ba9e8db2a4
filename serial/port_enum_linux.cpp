// Serial port discovery on Linux from sysfs (/sys/class/tty): which devices exist, and the USB
// product and vendor behind each for its description.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "serial/port_enum.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The 8250 driver registers ttyS0..N whether or not a UART answers; port type 0 means none did.
bool IsRealUart(const fs::path& ttyDir) {
    const fs::path type = ttyDir / "type";
    return !Exists(type) || ReadLine(type) != "0";
}

// USB product and vendor: the attributes sit on the USB device, one to three levels above the
// tty's device (the interface) depending on the driver.
std::string HardwareText(const fs::path& ttyDir) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyDir / "device", ec);
    if (ec) return {};
    for (int level = 0; level < 4 && !dir.empty(); ++level, dir = dir.parent_path()) {
        if (!Exists(dir / "idVendor")) continue;
        std::string product = ReadLine(dir / "product");
        std::string vendor = ReadLine(dir / "manufacturer");
        const std::string ids = ReadLine(dir / "idVendor") + ":" + ReadLine(dir / "idProduct");
        std::string text = product.empty() ? "USB " + ids : product;
        text += " (" + (vendor.empty() ? ids : vendor) + ")";
        return text;
    }
    const fs::path driver = fs::read_symlink(ttyDir / "device" / "driver", ec);
    return ec ? std::string() : driver.filename().string();
}

// The device path, with what is known of the hardware behind it.
SerialPortInfo PortWithHardware(unsigned number, const std::string& path,
                                const std::string& hardware) {
    return MakePortInfo(number, path, hardware.empty() ? path : path + " - " + hardware);
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const PortNameTable& names,
                                            const PortEnumSources& sources) {
    std::vector<SerialPortInfo> ports;
    std::set<unsigned> taken;
    const auto explicitEntries = names.ExplicitEntries();
    for (const auto& entry : explicitEntries) taken.insert(entry.first);

    std::error_code ec;
    fs::directory_iterator it(sources.sysClassTty, ec);
    if (ec) {
        for (unsigned n = 1; n <= kFallbackPortCount; ++n) {
            if (taken.contains(n)) continue;
            ports.push_back(PortWithHardware(n, FixedDevicePath(n), "not detected"));
        }
    } else {
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            const std::string name = it->path().filename().string();
            const std::string devPath = "/dev/" + name;
            const unsigned number = FixedPortNumber(devPath);
            // A number bound explicitly to another device no longer reaches this one.
            if (number == 0 || taken.contains(number)) continue;
            if (!Exists(it->path() / "device") || !IsRealUart(it->path())) continue;
            if (!Exists(fs::path(sources.devDir) / name)) continue;
            ports.push_back(PortWithHardware(number, devPath, HardwareText(it->path())));
        }
    }

    for (const auto& [number, path] : explicitEntries) {
        if (!Exists(path)) continue;
        // A link such as /dev/serial/by-id/... is described by the device it leads to.
        std::string hardware;
        const fs::path target = fs::canonical(path, ec);
        if (!ec && target.parent_path() == "/dev")
            hardware = HardwareText(fs::path(sources.sysClassTty) / target.filename());
        if (hardware.empty() && !ec && target != fs::path(path)) hardware = target.string();
        ports.push_back(PortWithHardware(number, path, hardware));
    }

    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.number < b.number; });
    return ports;
}

}  // namespace pelorin
