#include "app/LogCategories.h"

#include <QtTest>

namespace {
QStringList g_captured;

void capture(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    g_captured << QStringLiteral("%1 %2").arg(QLatin1String(context.category), text);
}
}  // namespace

// QT_LOGGING_RULES select the program's categories: debug lines can be turned
// off as a whole, one category back on, warnings stay.
class TestLogCategories : public QObject
{
    Q_OBJECT

private slots:
    void rulesSelectCategories()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("moonlodge.*.debug=false\nmoonlodge.voice.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        qCDebug(lcRealtime) << "WebSocket MoonLodge aperto.";
        qCDebug(lcVoice) << "PeerConnection creata per:" << QStringLiteral("abc");
        qCWarning(lcSession) << "Immagine avatar non valida.";
        qInstallMessageHandler(previous);
        QCOMPARE(g_captured, (QStringList{"moonlodge.voice PeerConnection creata per: \"abc\"",
                                          "moonlodge.session Immagine avatar non valida."}));
    }
};

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_LogCategories.moc"
