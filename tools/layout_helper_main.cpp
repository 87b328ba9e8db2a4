// The layout helper: started by the tool as it ends, with the tool's program path (and the word
// restore), it waits for the tool to end and then gives the program file the saved layout text
// from "_tmp_flash.txt" beside it, or, for restore, no layout at all.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "config/file_claim.h"
#include "config/layout_trailer.h"
#include "tools/helper_platform.h"

namespace {

constexpr std::chrono::minutes kWaitLimit{2};
constexpr const char* kSavedTextName = "_tmp_flash.txt";

int Fail(const std::string& text, int code) {
    std::fprintf(stderr, "pelorin-layout-helper: %s\n", text.c_str());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pelorin;
    bool restore = argc == 3 && std::strcmp(argv[2], "restore") == 0;
    if (argc != 2 && !restore) return Fail("usage: pelorin-layout-helper PROGRAM [restore]", 1);

    std::error_code ec;
    std::filesystem::path program = std::filesystem::canonical(argv[1], ec);
    if (ec) return Fail("no program file " + std::string(argv[1]), 1);
    // While this waits, a copy of the program that starts sees the claim and keeps the text.
    const std::filesystem::path savedText = program.parent_path() / kSavedTextName;
    const std::unique_ptr<FileClaim> claim = restore ? nullptr : FileClaim::Take(savedText);
    if (!helper::WaitForProgramToEnd(program, kWaitLimit))
        return Fail(program.string() + " is still running; the layout is left as it was", 2);

    auto file = ReadWholeFile(program);
    if (!file) return Fail("cannot read " + program.string(), 3);
    std::span<const uint8_t> image = ExecutableImage(*file);

    std::vector<uint8_t> rewritten;
    if (restore) {
        rewritten.assign(image.begin(), image.end());
    } else {
        auto text = ReadWholeFile(savedText);
        if (!text) return Fail("no saved layout text beside " + program.string(), 3);
        auto withLayout = AppendLayoutTrailer(
            image, std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
        if (!withLayout) return Fail(program.string() + " is too large to carry a layout", 3);
        rewritten = std::move(*withLayout);
    }
    std::string error;
    if (!helper::ReplaceFile(program, rewritten, &error)) return Fail(error, 3);
    if (!restore) std::filesystem::remove(savedText, ec);  // written in: nothing waits for it
    return 0;
}
