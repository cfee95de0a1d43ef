#include "session/AvatarSource.h"

#include "session/AvatarCache.h"
#include "session/ServerEndpoints.h"

#include <QFile>

namespace AvatarSource {

QPixmap builtInAvatar(const QString& fileName)
{
    // A server value is only ever a file name; anything with a separator cannot name a built-in image.
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')))
        return {};
    const QString path = QStringLiteral(":/avatar/") + fileName;
    if (!QFile::exists(path))
        return {};
    return QPixmap(path);
}

void resolve(QNetworkAccessManager& network, const QString& fileName, Lookup lookup, QObject* guard,
             std::function<void(const QPixmap&)> show, int timeoutMs)
{
    if (fileName.isEmpty())
        return;
    if (lookup != Lookup::DownloadOnly) {
        const QPixmap builtIn = builtInAvatar(fileName);
        if (!builtIn.isNull() || lookup == Lookup::BuiltInOnly) {
            if (!builtIn.isNull())
                show(builtIn);
            return;
        }
    }
    const QUrl url = ServerEndpoints::avatarUrl(fileName);
    if (url.isEmpty())
        return;
    AvatarCache::instance()->fetch(network, url, guard, std::move(show), timeoutMs);
}

}  // namespace AvatarSource
