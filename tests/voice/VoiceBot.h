#pragma once

// An aiortc voice bot (aiortc_voice_bot.py) in voice as a member of the dev
// server, sending a steady tone to luna only, and what it reports hearing.

#include "support/DevServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

class VoiceBot
{
public:
    VoiceBot(DevServer& server, const QString& member, double tone, int seconds = 60)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine())
                lines << QString::fromUtf8(process.readLine()).trimmed();
        });
        process.start("/usr/bin/python3",
                      {QStringLiteral(MOONLODGE_SOURCE_DIR) + "/tests/voice/aiortc_voice_bot.py", "--server",
                       server.url().toString(), "--cookie", server.sessionFor(member).value("cookie").toString(),
                       "--tone", QString::number(tone), "--seconds", QString::number(seconds), "--talk-to", "luna"});
    }
    ~VoiceBot()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
    QString sid() const { return lines.filter(QRegularExpression("^READY ")).value(0).mid(6); }
    // The last frequency the bot heard from that peer, or 0.
    double heardFrom(const QString& peer) const
    {
        const QStringList heard = lines.filter(QRegularExpression("^HEARD " + peer + " "));
        return heard.isEmpty() ? 0 : heard.last().split(' ').value(2).toDouble();
    }

    QProcess process;
    QStringList lines; // one a second per peer: a bot lives a few minutes at most
};
