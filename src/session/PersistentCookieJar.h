#pragma once

#include <QNetworkCookieJar>

// Cookie jar of the window's network access manager that keeps every cookie the
// server sets in the settings store, so the next run sends the same session.
class PersistentCookieJar : public QNetworkCookieJar
{
    Q_OBJECT

public:
    explicit PersistentCookieJar(QObject* parent = nullptr);
    ~PersistentCookieJar() override;

    // Replaces the jar's content with the stored cookies.
    void loadCookies();
    // Writes the jar's whole content to the store.
    void saveCookies();

    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookieList, const QUrl& url) override;

    // Logout empties the jar through these.
    using QNetworkCookieJar::allCookies;
    using QNetworkCookieJar::setAllCookies;
};
