// Writing the working layout file.
#include "config/layout_file.h"

#include <span>

#include "config/default_layout.h"
#include "config/file_io.h"
#include "config/layout_trailer.h"

namespace pelorin {
namespace {

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::string error;
    auto file = OutFile::CreateReplacing(path, &error);
    if (!file) return false;
    if (!file->Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())))
        return false;
    return file->Close();
}

}  // namespace

std::string LayoutTextOf(const std::filesystem::path& programPath) {
    if (auto trailer = ReadLayoutTrailer(programPath)) return std::move(trailer->text);
    return DefaultLayoutText();
}

bool ExtractLayout(const std::filesystem::path& programPath,
                   const std::filesystem::path& layoutPath) {
    return WriteText(layoutPath, LayoutTextOf(programPath));
}

bool WriteDefaultLayout(const std::filesystem::path& layoutPath) {
    return WriteText(layoutPath, DefaultLayoutText());
}

}  // namespace pelorin
