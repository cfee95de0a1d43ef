#include "voice/MemberVolumeStore.h"

#include "app/LogCategories.h"
#include "session/AppSettings.h"

#include <QDebug>
#include <QSettings>
#include <QVariantMap>

#include <algorithm>

int MemberVolumeStore::volume(const QString& userName)
{
    const QVariantMap volumes = QSettings(AppSettings::kOrganization, AppSettings::kApplication)
                                    .value(QLatin1String(AppSettings::kMemberVolumes))
                                    .toMap();
    return std::clamp(volumes.value(userName, DefaultPercent).toInt(), 0, MaxPercent);
}

void MemberVolumeStore::remember(const QString& userName, int percent)
{
    percent = std::clamp(percent, 0, MaxPercent);
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    QVariantMap volumes = settings.value(QLatin1String(AppSettings::kMemberVolumes)).toMap();
    if (percent == DefaultPercent) {
        if (volumes.remove(userName) == 0)
            return;
    } else if (volumes.contains(userName) || volumes.size() < MaxRemembered) {
        volumes.insert(userName, percent);
    } else {
        qCWarning(lcVoice) << "Volume non memorizzato, troppi membri:" << userName;
        return;
    }
    settings.setValue(QLatin1String(AppSettings::kMemberVolumes), volumes);
}
