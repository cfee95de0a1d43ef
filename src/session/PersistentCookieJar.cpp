#include "session/PersistentCookieJar.h"

#include "session/AppSettings.h"

#include <QNetworkCookie>
#include <QSettings>

PersistentCookieJar::PersistentCookieJar(QObject* parent)
    : QNetworkCookieJar(parent)
{
}

PersistentCookieJar::~PersistentCookieJar() = default;

void PersistentCookieJar::loadCookies()
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    const QStringList stored = settings.value(AppSettings::kSessionCookies).toStringList();

    QList<QNetworkCookie> cookies;
    for (const QString& entry : stored) {
        const auto decoded = QByteArray::fromBase64Encoding(entry.toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            continue;
        cookies += QNetworkCookie::parseCookies(*decoded);
    }
    setAllCookies(cookies);
}

void PersistentCookieJar::saveCookies()
{
    QStringList stored;
    for (const QNetworkCookie& cookie : allCookies())
        stored << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::Full).toBase64());

    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(AppSettings::kSessionCookies, stored);
}

bool PersistentCookieJar::setCookiesFromUrl(const QList<QNetworkCookie>& cookieList, const QUrl& url)
{
    // A Set-Cookie that only deletes (expiry in the past) is not "accepted",
    // yet it changes the jar: the store follows the contents, not the result.
    const QList<QNetworkCookie> before = allCookies();
    const bool accepted = QNetworkCookieJar::setCookiesFromUrl(cookieList, url);
    if (accepted || allCookies() != before)
        saveCookies();
    return accepted;
}
