// The launcher entry's signal and the notification's call, both sent without waiting.
#include "ui/qt/desktop_services.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>

namespace pelorin::ui {
namespace {

constexpr const char* kLauncherPath = "/com/canonical/unity/launcherentry/pelorin";
constexpr const char* kLauncherInterface = "com.canonical.Unity.LauncherEntry";
constexpr const char* kNotifyService = "org.freedesktop.Notifications";
constexpr const char* kNotifyPath = "/org/freedesktop/Notifications";
constexpr const char* kAppName = "Pelorin";
constexpr const char* kIconName = "pelorin";

}  // namespace

// The launcher entry has no red of its own: a failure asks for attention instead.
void DesktopServices::SetTaskbarProgress(TaskbarState state, int percent) {
    if (state == shownState_ && percent == shownPercent_) return;
    shownState_ = state;
    shownPercent_ = percent;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kLauncherPath, kLauncherInterface, QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), double(percent) / 100.0);
    properties.insert(QStringLiteral("progress-visible"), state != TaskbarState::None);
    properties.insert(QStringLiteral("urgent"), state == TaskbarState::Error);
    signal << QString::fromUtf8(kDesktopEntryUri) << properties;
    bus.send(signal);
}

void DesktopServices::Notify(const std::string& title, const std::string& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifyService, kNotifyPath, kNotifyService,
                                                       QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("pelorin"));
    call << QString::fromUtf8(kAppName) << uint(0) << QString::fromUtf8(kIconName)
         << QString::fromStdString(title) << QString::fromStdString(text) << QStringList() << hints
         << int(-1);
    // No answer is awaited: a desktop without a notification service only loses the word.
    bus.send(call);
}

}  // namespace pelorin::ui
