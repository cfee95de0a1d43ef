#include "shell/LauncherBadge.h"

#include "session/AppSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

LauncherBadge::LauncherBadge(QObject* parent)
    : QObject(parent)
{
}

void LauncherBadge::setCount(int count)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/org/moonlodge/MoonLodge/LauncherEntry"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    const QVariantMap properties{{QStringLiteral("count"), qint64(count)},
                                 {QStringLiteral("count-visible"), count > 0}};
    update << QStringLiteral("application://%1.desktop").arg(QLatin1String(AppSettings::kDesktopId)) << properties;
    bus.send(update);
}
