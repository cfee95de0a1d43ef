#include "session/AvatarCache.h"

#include "app/LogCategories.h"
#include "session/ServerApi.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QtDebug>

AvatarCache::AvatarCache(QObject* parent)
    : QObject(parent)
    , m_pictures(kMaxCostKb)
{
}

AvatarCache* AvatarCache::instance()
{
    static QPointer<AvatarCache> cache;
    if (!cache)
        cache = new AvatarCache(QCoreApplication::instance());
    return cache;
}

qint64 AvatarCache::nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void AvatarCache::clear()
{
    m_pictures.clear();
    m_failedAt.clear();
}

void AvatarCache::fetch(QNetworkAccessManager& network, const QUrl& url, QObject* guard, Show show, int timeoutMs)
{
    const QString key = url.toString();
    if (const Entry* entry = m_pictures.object(key)) {
        show(entry->picture);
        const bool stale = entry->freshUntilMs >= 0 && entry->freshUntilMs <= nowMs();
        if (stale && !m_waiting.contains(key)) {
            m_waiting.insert(key, {});
            download(network, key, url, timeoutMs, entry);
        }
        return;
    }
    const auto failed = m_failedAt.constFind(key);
    if (failed != m_failedAt.cend() && nowMs() - failed.value() < kFailureRetryMs)
        return;

    const bool started = m_waiting.contains(key);
    m_waiting[key].append({guard, std::move(show)});
    if (!started)
        download(network, key, url, timeoutMs, nullptr);
}

void AvatarCache::download(QNetworkAccessManager& network, const QString& key, const QUrl& url, int timeoutMs,
                           const Entry* stale)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs);
    if (stale && !stale->etag.isEmpty())
        request.setRawHeader("If-None-Match", stale->etag);
    else if (stale && !stale->lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", stale->lastModified);
    QNetworkReply* reply = network.get(request);
    // A hostile server can send hundreds of megabytes: stop at the limit.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxBytes || total > kMaxBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, key, reply] { finish(key, reply); });
}

void AvatarCache::finish(const QString& key, QNetworkReply* reply)
{
    reply->deleteLater();
    const QList<Waiter> waiters = m_waiting.take(key);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 304) {
        if (Entry* entry = m_pictures.object(key))
            store(key, entry->picture, reply);
        return;
    }
    QPixmap picture;
    bool ok = false;
    if (reply->error() != QNetworkReply::NoError)
        qCWarning(lcSession).noquote() << "Errore caricamento avatar:" << reply->errorString();
    else if (!(ok = reply->bytesAvailable() <= kMaxBytes && picture.loadFromData(reply->read(kMaxBytes))))
        qCWarning(lcSession) << "Immagine avatar non valida.";
    if (!ok) {
        // A failed revalidation keeps the old picture; a failed first download is not repeated for a while.
        if (!m_pictures.contains(key))
            m_failedAt.insert(key, nowMs());
        return;
    }
    m_failedAt.remove(key);
    store(key, picture, reply);
    for (const Waiter& waiter : waiters)
        if (waiter.guard)
            waiter.show(picture);
}

void AvatarCache::store(const QString& key, const QPixmap& picture, QNetworkReply* reply)
{
    auto* entry = new Entry;
    entry->picture = picture;
    entry->etag = reply->rawHeader("ETag");
    entry->lastModified = reply->rawHeader("Last-Modified");
    const QByteArray cacheControl = reply->rawHeader("Cache-Control").toLower();
    static const QRegularExpression maxAge(QStringLiteral("max-age\\s*=\\s*(\\d+)"));
    const QRegularExpressionMatch match = maxAge.match(QString::fromLatin1(cacheControl));
    if (cacheControl.contains("no-cache") || cacheControl.contains("no-store"))
        entry->freshUntilMs = nowMs();
    else if (match.hasMatch())
        entry->freshUntilMs = nowMs() + std::min<qint64>(match.captured(1).toLongLong(), 86400) * 1000;
    const qint64 costKb = std::max<qint64>(1, qint64(picture.width()) * picture.height() * 4 / 1024);
    m_pictures.insert(key, entry, int(std::min<qint64>(costKb, kMaxCostKb)));
}
