// The operator's saved choices on top of the toolkit's settings store: the program keeps them
// under the organisation "Local AppWizard-Generated Applications" and its own base name; tests
// point it at a file of their own.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <string_view>

#include "ui/dialog/profile.h"

namespace pelorin::ui {

class Profile final : public IProfile {
  public:
    // The per-user profile of `application` (the program file's base name).
    explicit Profile(const QString& application);
    // A profile kept in the INI file `path`.
    static Profile AtFile(const QString& path);

    int GetInt(std::string_view key) const override;
    void WriteInt(std::string_view key, int value) override;
    // Where the values live, for the operator and the tests.
    QString Location() const { return settings_->fileName(); }

  private:
    explicit Profile(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}
    static QString KeyOf(std::string_view key);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace pelorin::ui
