// Stand-ins for the operator and the files of a window test.
#include "operator_fakes.h"

#include <fstream>

#include "config/default_layout.h"
#include "config/layout_trailer.h"

namespace pelorin::testing {

PromptAnswer RecordingPrompt::Show(const PromptRequest& request) {
    shown.push_back(request);
    if (answers.empty()) return DefaultAnswer(request.buttons);
    const PromptAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

size_t RecordingPrompt::CountWithCaption(const std::string& caption) const {
    size_t count = 0;
    for (const PromptRequest& r : shown) count += r.caption == caption;
    return count;
}

std::optional<std::string> ScriptedFileDialogs::ChooseOpenFile(
    const std::vector<ui::FileFilterEntry>& f) {
    ++opens;
    filter = f;
    return next;
}

std::optional<std::string> ScriptedFileDialogs::ChooseSaveFile(
    const std::vector<ui::FileFilterEntry>& f) {
    ++saves;
    filter = f;
    return next;
}

void WriteProgramFile(const std::filesystem::path& path, const std::string& layoutText) {
    const std::vector<uint8_t> image(4096, 0x90);
    std::vector<uint8_t> bytes = image;
    if (!layoutText.empty()) bytes = *AppendLayoutTrailer(image, layoutText);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteSeededFile(const std::filesystem::path& path, size_t bytes, uint8_t seed) {
    std::string data(bytes, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

std::string DefaultLayoutWith(const std::vector<std::pair<std::string, std::string>>& edits) {
    std::string text = DefaultLayoutText();
    for (const auto& [from, to] : edits) {
        const size_t at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace pelorin::testing
