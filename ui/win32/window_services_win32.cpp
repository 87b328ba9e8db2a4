// Message boxes and file dialogs of the Windows view.
#include "ui/win32/window_services_win32.h"

#include <commdlg.h>

#include "ui/win32/wide_text.h"

namespace pelorin::ui {

UINT MessageBoxFlags(const PromptRequest& request) {
    UINT flags = request.icon == PromptIcon::Information ? MB_ICONINFORMATION : MB_ICONWARNING;
    switch (request.buttons) {
        case PromptButtons::Ok:
            flags |= MB_OK;
            break;
        case PromptButtons::YesNo:
            flags |= MB_YESNO;
            break;
        case PromptButtons::YesNoCancel:
            flags |= MB_YESNOCANCEL | MB_DEFBUTTON3;
            break;
        case PromptButtons::OkCancel:
            flags |= MB_OKCANCEL | MB_DEFBUTTON2;
            break;
    }
    return flags;
}

PromptAnswer AnswerOfMessageBox(int result) {
    switch (result) {
        case IDYES:
            return PromptAnswer::Yes;
        case IDNO:
            return PromptAnswer::No;
        case IDCANCEL:
            return PromptAnswer::Cancel;
        default:
            return PromptAnswer::Ok;
    }
}

PromptAnswer MessageBoxPrompt::Show(const PromptRequest& request) {
    const int result =
        MessageBoxW(owner_ ? owner_() : nullptr, Widen(WithCrLf(request.text)).c_str(),
                    Widen(request.caption).c_str(), MessageBoxFlags(request));
    // No box (out of resources): the answer of an operator who only presses Enter.
    if (result == 0) return DefaultAnswer(request.buttons);
    return AnswerOfMessageBox(result);
}

std::wstring CommonDialogFilter(const std::vector<FileFilterEntry>& filter) {
    std::wstring out;
    for (const FileFilterEntry& entry : filter) {
        out += Widen(entry.display);
        out += L'\0';
        // The dialog takes patterns separated by ';' without blanks.
        std::string patterns;
        for (char c : entry.patterns)
            if (c != ' ') patterns += c;
        out += Widen(patterns);
        out += L'\0';
    }
    out += L'\0';
    return out;
}

std::optional<std::string> CommonFileDialogs::Choose(const std::vector<FileFilterEntry>& filter,
                                                     bool save) {
    const std::wstring filterText = CommonDialogFilter(filter);
    std::wstring file(32768, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_ ? owner_() : nullptr;
    ofn.lpstrFilter = filterText.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
    ofn.Flags |= save ? OFN_OVERWRITEPROMPT : (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) return std::nullopt;
    file.resize(wcslen(file.c_str()));
    return Narrow(file);
}

std::optional<std::string> CommonFileDialogs::ChooseOpenFile(
    const std::vector<FileFilterEntry>& filter) {
    return Choose(filter, false);
}

std::optional<std::string> CommonFileDialogs::ChooseSaveFile(
    const std::vector<FileFilterEntry>& filter) {
    return Choose(filter, true);
}

}  // namespace pelorin::ui
