#include "app/LogCategories.h"

#include <QtTest>

namespace {
QStringList g_captured;

void captureMessage(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    g_captured << QStringLiteral("%1 %2").arg(QLatin1String(context.category), text);
}
}  // namespace

class TestLogCategories : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QLoggingCategory::setFilterRules(QString());
        g_captured.clear();
    }

    void rulesSelectCategories_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QStringList>("expected");

        const QString realtimeDebug = QStringLiteral("moonlodge.realtime WebSocket MoonLodge aperto.");
        const QString voiceDebug = QStringLiteral("moonlodge.voice PeerConnection creata per: \"abc\"");
        const QString sessionWarning = QStringLiteral("moonlodge.session Immagine avatar non valida.");
        QTest::newRow("no rules") << QString() << QStringList{realtimeDebug, voiceDebug, sessionWarning};
        QTest::newRow("debug off, warnings stay")
            << QStringLiteral("moonlodge.*.debug=false") << QStringList{sessionWarning};
        QTest::newRow("debug off but voice")
            << QStringLiteral("moonlodge.*.debug=false\nmoonlodge.voice.debug=true")
            << QStringList{voiceDebug, sessionWarning};
        QTest::newRow("session quiet") << QStringLiteral("moonlodge.session=false")
                                       << QStringList{realtimeDebug, voiceDebug};
    }

    void rulesSelectCategories()
    {
        QFETCH(QString, rules);
        QFETCH(QStringList, expected);

        QLoggingCategory::setFilterRules(rules);
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        qCDebug(lcRealtime) << "WebSocket MoonLodge aperto.";
        qCDebug(lcVoice) << "PeerConnection creata per:" << QStringLiteral("abc");
        qCWarning(lcSession) << "Immagine avatar non valida.";
        qInstallMessageHandler(previous);

        QCOMPARE(g_captured, expected);
    }
};

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_LogCategories.moc"
