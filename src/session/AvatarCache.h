#pragma once

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// Downloaded avatars, each fetched once per run: a bounded in-memory cache keyed
// by the picture's URL (its file name on the server), shared by every row that
// shows it. Concurrent requests for one picture share one download; a picture the
// server marked as expiring (Cache-Control max-age / no-cache) is revalidated with
// its ETag or Last-Modified once stale, still shown meanwhile; a failed picture is
// not asked for again for a minute. Downloads larger than kMaxBytes are aborted.
class AvatarCache : public QObject
{
    Q_OBJECT

public:
    using Show = std::function<void(const QPixmap&)>;

    static constexpr qint64 kMaxBytes = 2 * 1024 * 1024;
    static constexpr int kMaxCostKb = 48 * 1024;
    static constexpr int kDefaultTimeoutMs = 10000;
    static constexpr int kFailureRetryMs = 60000;

    // The one cache of the application (owned by it).
    static AvatarCache* instance();

    // Hands the picture at `url` to `show` (at once when cached), unless `guard` is gone first.
    void fetch(QNetworkAccessManager& network, const QUrl& url, QObject* guard, Show show, int timeoutMs);

    // Forgets every picture (the tests start from nothing).
    void clear();

private:
    struct Entry
    {
        QPixmap picture;
        QByteArray etag;
        QByteArray lastModified;
        qint64 freshUntilMs = -1;  // -1: fresh for the whole run
    };
    struct Waiter
    {
        QPointer<QObject> guard;
        Show show;
    };

    explicit AvatarCache(QObject* parent);
    void download(QNetworkAccessManager& network, const QString& key, const QUrl& url, int timeoutMs,
                  const Entry* stale);
    void finish(const QString& key, QNetworkReply* reply);
    void store(const QString& key, const QPixmap& picture, QNetworkReply* reply);
    static qint64 nowMs();

    QCache<QString, Entry> m_pictures;
    QHash<QString, QList<Waiter>> m_waiting;
    QHash<QString, qint64> m_failedAt;
};
