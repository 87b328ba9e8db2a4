// The operator's saved choices: integers in section "Config" of the per-user profile. The
// program keeps it under the organisation "Local AppWizard-Generated Applications" and its
// own base name; tests point it at a file of their own.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <string_view>

namespace pelorin::ui {

inline constexpr const char* kProfileOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kProfileSection = "Config";

class Profile {
  public:
    // The per-user profile of `application` (the program file's base name).
    explicit Profile(const QString& application);
    // A profile kept in the INI file `path`.
    static Profile AtFile(const QString& path);

    // The value of `key`, 0 when missing or not a number.
    int GetInt(std::string_view key) const;
    void WriteInt(std::string_view key, int value);
    // Where the values live, for the operator and the tests.
    QString Location() const { return settings_->fileName(); }

  private:
    explicit Profile(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}
    static QString KeyOf(std::string_view key);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace pelorin::ui
