// Listings for scripts and people: one entry a line, or JSON with --json.
#include "cli/list_commands.h"

#include "cli/exit_codes.h"
#include "cli/layout_source.h"
#include "serial/port_enum.h"
#include "serial/port_names.h"
#include "session/chip_types.h"

namespace pelorin::cli {

int ListPorts(const CliOptions& options, std::FILE* out) {
    PortNameTable names;
    LoadPortMapFromEnvironment(names);
    auto ports = ListSerialPorts(names);
    if (options.json) std::fputs("[", out);
    for (size_t i = 0; i < ports.size(); ++i) {
        const SerialPortInfo& p = ports[i];
        if (options.json)
            std::fprintf(out, "%s{\"name\":\"%s\",\"number\":%u,\"device\":\"%s\"}", i ? "," : "",
                         p.name.c_str(), p.number, p.devicePath.c_str());
        else
            std::fprintf(out, "%-8s %s\n", p.name.c_str(), p.description.c_str());
    }
    if (options.json) std::fputs("]\n", out);
    return kExitOk;
}

int ListChips(const CliOptions& options, std::FILE* out) {
    if (options.json) std::fputs("[", out);
    for (size_t i = 0; i < kChipTypes.size(); ++i) {
        const ChipType& c = kChipTypes[i];
        const char* family = c.family == ChipFamily::BigEndian ? "big-endian" : "little-endian";
        if (options.json)
            std::fprintf(out, "%s{\"name\":\"%.*s\",\"code\":%u,\"family\":\"%s\"}", i ? "," : "",
                         int(c.name.size()), c.name.data(), c.code, family);
        else
            std::fprintf(out, "%.*s  code %2u  %s\n", int(c.name.size()), c.name.data(), c.code,
                         family);
    }
    if (options.json) std::fputs("]\n", out);
    return kExitOk;
}

int ListSections(const CliOptions& options, std::FILE* out, std::FILE* err) {
    std::string error;
    auto table = LoadLayout(options.layoutFile, error);
    if (!table) {
        std::fprintf(err, "Error: %s\n", error.c_str());
        return kExitBadInput;
    }
    if (options.json) std::fputs("[", out);
    for (size_t i = 0; i < table->size(); ++i) {
        const SegmentEntry& s = (*table)[i];
        if (options.json)
            std::fprintf(out, "%s{\"name\":\"%s\",\"start\":%u,\"size\":%u}", i ? "," : "",
                         s.name.c_str(), s.startAddr, s.segSize);
        else
            std::fprintf(out, "%-16s start 0x%08X  size 0x%08X (%u bytes)\n", s.name.c_str(),
                         s.startAddr, s.segSize, s.segSize);
    }
    if (options.json) std::fputs("]\n", out);
    return kExitOk;
}

}  // namespace pelorin::cli
