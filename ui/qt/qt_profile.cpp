// Per-user profile on top of the toolkit's settings store.
#include "ui/qt/qt_profile.h"

namespace pelorin::ui {

Profile::Profile(const QString& application)
    : settings_(std::make_unique<QSettings>(QString::fromUtf8(kProfileOrganisation), application)) {
}

Profile Profile::AtFile(const QString& path) {
    return Profile(std::make_unique<QSettings>(path, QSettings::IniFormat));
}

QString Profile::KeyOf(std::string_view key) {
    return QString::fromUtf8(kProfileSection) + '/' +
           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

int Profile::GetInt(std::string_view key) const {
    bool ok = false;
    const int value = settings_->value(KeyOf(key)).toInt(&ok);
    return ok ? value : 0;
}

void Profile::WriteInt(std::string_view key, int value) {
    settings_->setValue(KeyOf(key), value);
}

}  // namespace pelorin::ui
