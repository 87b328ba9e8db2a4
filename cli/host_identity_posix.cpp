// Host and adapter identity on POSIX: the host name, and on Linux the adapter's entry in
// /dev/serial/by-id and its USB serial number in sysfs. Elsewhere the adapter stays unnamed.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/host_identity.h"

namespace pelorin::cli {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

AdapterIdentity AdapterOf(const std::string& device) {
    AdapterIdentity id;
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (ec) return id;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        std::error_code e;
        if (fs::canonical(entry.path(), e) == real && !e) {
            id.byId = entry.path().string();
            break;
        }
    }
    // The tty's device in sysfs lies below the USB device that carries the serial number.
    fs::path dir = fs::canonical(fs::path("/sys/class/tty") / real.filename() / "device", ec);
    for (int up = 0; !ec && up < 6 && dir.has_relative_path(); ++up, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "serial", ec)) {
            id.serial = FirstLine(dir / "serial");
            break;
        }
    }
    return id;
}

}  // namespace pelorin::cli
