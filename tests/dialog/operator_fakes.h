// Stand-ins for the operator and the files a window test needs, shared by the logic's tests
// and the Qt view's: a prompt that records and answers, file dialogs that answer from a
// script, and the program and data files a test window reads.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "session/operator_prompt.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::testing {

// Records every message box and answers it with the next of `answers`, or, when none is
// left, with the safe answer (OK, No to a question, Cancel where offered).
class RecordingPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& request) override;
    size_t CountWithCaption(const std::string& caption) const;
    std::vector<PromptRequest> shown;
    std::deque<PromptAnswer> answers;
};

// Answers the next file dialog with `next` (none: the operator cancels).
class ScriptedFileDialogs final : public ui::IFileDialogs {
  public:
    std::optional<std::string> ChooseOpenFile(const std::vector<ui::FileFilterEntry>& f) override;
    std::optional<std::string> ChooseSaveFile(const std::vector<ui::FileFilterEntry>& f) override;
    std::optional<std::string> next;
    std::vector<ui::FileFilterEntry> filter;
    int opens = 0;
    int saves = 0;
};

// A program file at `path`; with `layoutText` it carries that text behind its trailer, else
// none (the built-in layout applies).
void WriteProgramFile(const std::filesystem::path& path, const std::string& layoutText = {});
// `bytes` bytes of a sequence that `seed` chooses.
void WriteSeededFile(const std::filesystem::path& path, size_t bytes, uint8_t seed = 1);
// The default layout's text with `from` replaced by `to` in each pair (for [Config] lines).
std::string DefaultLayoutWith(const std::vector<std::pair<std::string, std::string>>& edits);

}  // namespace pelorin::testing
