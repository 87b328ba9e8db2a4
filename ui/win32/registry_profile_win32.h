// The profile in the registry, where the framework keeps it: the current user's
// Software\Local AppWizard-Generated Applications\<program name>\Config, one DWORD per key.
#pragma once

#include <string>

#include "ui/dialog/profile.h"

namespace pelorin::ui {

class RegistryProfile final : public IProfile {
  public:
    // `programName`: the program file's base name ("pelorin").
    explicit RegistryProfile(std::string programName);
    int GetInt(std::string_view key) const override;
    void WriteInt(std::string_view key, int value) override;
    // The key below HKEY_CURRENT_USER.
    const std::wstring& KeyPath() const { return keyPath_; }

  private:
    std::wstring keyPath_;
};

}  // namespace pelorin::ui
