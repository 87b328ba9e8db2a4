// Port number <-> device path: the explicit table; the fixed names are the platform's
// (port_names_linux.cpp, port_names_win32.cpp).
#include "serial/port_names.h"

#include <cstdlib>

#include "base/trim.h"

namespace pelorin {

unsigned ParsePortDigits(std::string_view s) {
    if (s.empty() || s.size() > 5 || (s.size() > 1 && s[0] == '0')) return 0;
    unsigned value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

bool PortNameTable::Assign(unsigned number, std::string devicePath) {
    if (number < kMinPortNumber || number > kMaxPortNumber || devicePath.empty()) return false;
    std::lock_guard lock(mutex_);
    explicit_[number] = std::move(devicePath);
    return true;
}

void PortNameTable::Remove(unsigned number) {
    std::lock_guard lock(mutex_);
    explicit_.erase(number);
}

void PortNameTable::Clear() {
    std::lock_guard lock(mutex_);
    explicit_.clear();
}

std::string PortNameTable::DevicePath(unsigned number) const {
    {
        std::lock_guard lock(mutex_);
        const auto it = explicit_.find(number);
        if (it != explicit_.end()) return it->second;
    }
    return FixedDevicePath(number);
}

unsigned PortNameTable::NumberFor(std::string_view devicePath) {
    if (devicePath.empty()) return 0;
    std::lock_guard lock(mutex_);
    for (const auto& [number, path] : explicit_)
        if (path == devicePath) return number;
    const unsigned fixed = FixedPortNumber(devicePath);
    // A fixed number rebound explicitly to another device no longer reaches this one.
    if (fixed != 0 && !explicit_.contains(fixed)) return fixed;
    for (unsigned n = kFirstFreePortNumber; n <= kMaxPortNumber; ++n) {
        if (!explicit_.contains(n)) {
            explicit_[n] = std::string(devicePath);
            return n;
        }
    }
    return 0;
}

size_t PortNameTable::LoadText(std::string_view text) {
    size_t taken = 0;
    while (!text.empty()) {
        const size_t end = text.find(';');
        const std::string_view entry = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const size_t eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view path = Trim(entry.substr(eq + 1));
        if (Assign(ParsePortDigits(Trim(entry.substr(0, eq))), std::string(path))) ++taken;
    }
    return taken;
}

std::vector<std::pair<unsigned, std::string>> PortNameTable::ExplicitEntries() const {
    std::lock_guard lock(mutex_);
    return {explicit_.begin(), explicit_.end()};
}

size_t LoadPortMapFromEnvironment(PortNameTable& table) {
    const char* text = std::getenv(kPortMapVariable);
    return text ? table.LoadText(text) : 0;
}

}  // namespace pelorin
