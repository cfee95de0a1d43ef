#include "session/ServerEndpoints.h"

#include <QByteArray>

namespace ServerEndpoints {

namespace {
QString& baseUrlOverride()
{
    static QString address;
    return address;
}
}  // namespace

void setBaseUrlOverride(const QString& address)
{
    baseUrlOverride() = address;
}

QString baseUrl()
{
    QString base = baseUrlOverride();
    if (base.trimmed().isEmpty())
        base = qEnvironmentVariable("MOONLODGE_BASE_URL");
    if (base.trimmed().isEmpty())
        base = QStringLiteral(MOONLODGE_DEFAULT_BASE_URL);
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QUrl url(const QString& path)
{
    return QUrl(baseUrl() + path, QUrl::StrictMode);
}

QUrl realtimeUrl()
{
    QUrl realtime = url(QString::fromLatin1(kRealtimePath));
    realtime.setScheme(realtime.scheme() == QLatin1String("https") ? QStringLiteral("wss")
                                                                     : QStringLiteral("ws"));
    realtime.setQuery(QString::fromLatin1(kRealtimeQuery));
    return realtime;
}

QString pathSegment(const QString& value)
{
    // "." and ".." would mean "here" and "up" whatever their encoding: no such name is valid.
    if (value.isEmpty() || value.count(QLatin1Char('.')) == value.size())
        return QString();
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

namespace {

QUrl urlWithSegment(const char* prefix, const QString& value)
{
    const QString segment = pathSegment(value);
    return segment.isEmpty() ? QUrl() : url(QLatin1String(prefix) + segment);
}

}  // namespace

QUrl avatarUrl(const QString& fileName)
{
    return urlWithSegment(kAvatarPrefix, fileName);
}

QUrl userProfileUrl(const QString& userName)
{
    return urlWithSegment(kUserProfilePrefix, userName);
}

QUrl ideaLikeUrl(qint64 ideaId)
{
    return url(QStringLiteral("/ideas/%1/like").arg(ideaId));
}

}  // namespace ServerEndpoints
