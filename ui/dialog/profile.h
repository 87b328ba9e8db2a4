// The operator's saved choices: integers by key in the per-user profile's section "Config".
// The Qt view keeps them with the toolkit's settings, the Windows view in the registry.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace pelorin::ui {

inline constexpr const char* kProfileOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kProfileSection = "Config";

class IProfile {
  public:
    virtual ~IProfile() = default;
    // The value of `key`, 0 when missing or not a number.
    virtual int GetInt(std::string_view key) const = 0;
    virtual void WriteInt(std::string_view key, int value) = 0;
};

// A profile that lives only as long as the object (tests, the program's test modes).
class MemoryProfile final : public IProfile {
  public:
    int GetInt(std::string_view key) const override {
        const auto found = values_.find(std::string(key));
        return found == values_.end() ? 0 : found->second;
    }
    void WriteInt(std::string_view key, int value) override { values_[std::string(key)] = value; }

  private:
    std::map<std::string, int> values_;
};

}  // namespace pelorin::ui
