#include "support/SignedInWindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>

using namespace shelltest;

namespace {
constexpr char kFakeBusName[] = "fake-desktop";
}

// What a desktop would see on the session bus: a notification service that
// understands body markup, and a launcher listening for badge updates.
class FakeDesktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString summary;
        QString body;
        uint replacesId;
    };
    QList<Shown> shown;
    QList<qint64> badgeCounts;

    bool registerNotifications()
    {
        QDBusConnection bus = connection();
        return bus.isConnected()
               && bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots)
               && bus.registerService("org.freedesktop.Notifications");
    }
    void unregisterNotifications() { connection().unregisterService("org.freedesktop.Notifications"); }
    bool listenToLauncher()
    {
        return connection().connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", this,
                                    SLOT(Update(QString, QVariantMap)));
    }

public slots:
    QStringList GetCapabilities() { return {"body", "body-markup"}; }
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        shown.append({summary, body, replacesId});
        return 40 + shown.size();
    }
    void Update(const QString& appUri, const QVariantMap& properties)
    {
        if (appUri == QLatin1String("application://org.moonlodge.MoonLodge.desktop"))
            badgeCounts.append(properties.value("count").toLongLong());
    }

private:
    static QDBusConnection connection()
    {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(kFakeBusName));
    }
};

// Messages of others that arrive while the window is in the background.
class TestUnreadMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        clearSettings();
        QVERIFY(startPrivateSessionBus());
        QVERIFY(m_desktop.registerNotifications());
        QVERIFY(m_desktop.listenToLauncher());
        QVERIFY(m_server.start());
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(logInToChat(*m_window, QStringLiteral("luna")));
        m_elsewhere.show();
    }

    void countsOthersMessagesWhileInactive()
    {
        QApplication::setActiveWindow(&m_elsewhere);
        navButton(*m_window, "Ideas")->click();

        receive("luna", "my own words");
        receive("orion", "<b>hello</b> & welcome\nsecond line");
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("(1) MoonLodge"));
        QTRY_COMPARE(m_desktop.shown.size(), 1);
        QCOMPARE(m_desktop.shown[0].summary, QStringLiteral("orion"));
        QCOMPARE(m_desktop.shown[0].body, QStringLiteral("&lt;b&gt;hello&lt;/b&gt; &amp; welcome"));
        QTRY_COMPARE(m_desktop.badgeCounts.value(m_desktop.badgeCounts.size() - 1), 1);

        receive("<i>nova</i>", QString(300, QLatin1Char('x')));
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("(2) MoonLodge"));
        QTRY_COMPARE(m_desktop.shown.size(), 2);
        QCOMPARE(m_desktop.shown[1].summary, QStringLiteral("<i>nova</i>"));  // the summary is plain text
        QCOMPARE(m_desktop.shown[1].body.size(), 200);
        QCOMPARE(m_desktop.shown[1].replacesId, 41u);  // one notification on screen, replaced
    }

    void clearsWhenTheChatIsSeen()
    {
        QApplication::setActiveWindow(m_window.get());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("MoonLodge"));
        QTRY_COMPARE(m_desktop.badgeCounts.value(m_desktop.badgeCounts.size() - 1), 0);

        const int notified = m_desktop.shown.size();
        receive("orion", "seen at once");
        QTest::qWait(300);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("MoonLodge"));
        QCOMPARE(m_desktop.shown.size(), notified);
    }

    void bellTurnsNotificationsOffButKeepsCounting()
    {
        QPushButton* bell = m_window->findChild<QPushButton*>("navbarNotificationsButton");
        QVERIFY(bell->isChecked());
        bell->click();
        QCOMPARE(QSettings(AppSettings::kOrganization, AppSettings::kApplication)
                     .value(AppSettings::kDesktopNotifications)
                     .toBool(),
                 false);

        QApplication::setActiveWindow(&m_elsewhere);
        const int notified = m_desktop.shown.size();
        receive("orion", "quietly");
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("(1) MoonLodge"));
        QTest::qWait(300);
        QCOMPARE(m_desktop.shown.size(), notified);
        bell->click();
    }

    void withoutANotificationServiceOnlyTheCountShows()
    {
        m_desktop.unregisterNotifications();
        QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications"));
        const int notified = m_desktop.shown.size();
        receive("orion", "anyone there?");
        QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("(2) MoonLodge"));
        QTest::qWait(300);
        QCOMPARE(m_desktop.shown.size(), notified);
    }

    void cleanupTestCase() { m_window.reset(); }

private:
    // Other windows of the suite notify too: this test keeps a session bus of its own.
    bool startPrivateSessionBus()
    {
        const QString address = QStringLiteral("unix:path=%1/bus").arg(m_busDir.path());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                     QStringLiteral("--address=") + address});
        if (!m_bus.waitForReadyRead(5000))
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        return true;
    }

    void receive(const QString& sender, const QString& text)
    {
        pushEvent(m_server, "luna", "receive_message",
                  {{"sender", sender}, {"text", text}, {"created_at", "2026-12-06T22:00:00"}});
    }

    QTemporaryDir m_busDir;
    QProcess m_bus;
    FakeDesktop m_desktop;
    DevServer m_server;
    std::unique_ptr<MainWindow> m_window;
    QWidget m_elsewhere;
};

QTEST_MAIN(TestUnreadMessages)
#include "tst_UnreadMessages.moc"
