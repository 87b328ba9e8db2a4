// Profile values as REG_DWORD; a missing or non-numeric value reads as 0.
#include "ui/win32/registry_profile_win32.h"

#include <windows.h>

#include "ui/win32/wide_text.h"

namespace pelorin::ui {

RegistryProfile::RegistryProfile(std::string programName)
    : keyPath_(L"Software\\" + Widen(kProfileOrganisation) + L"\\" + Widen(programName) + L"\\" +
               Widen(kProfileSection)) {}

int RegistryProfile::GetInt(std::string_view key) const {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, keyPath_.c_str(), Widen(key).c_str(), RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS)
        return 0;
    return int(value);
}

void RegistryProfile::WriteInt(std::string_view key, int value) {
    HKEY hkey = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &hkey, nullptr) != ERROR_SUCCESS)
        return;  // the profile is best effort, as the framework's is
    const DWORD data = DWORD(value);
    RegSetValueExW(hkey, Widen(key).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof data);
    RegCloseKey(hkey);
}

}  // namespace pelorin::ui
