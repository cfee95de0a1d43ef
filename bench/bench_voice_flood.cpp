// A hostile server floods the client with voice signalling: 200 offers from
// 200 different sids, each followed by a candidate, ten events every 5 ms.
// Prints the longest stall of the GUI thread (the largest gap between the
// ticks of a 1 ms timer) during the flood and while the client leaves.

#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceChatManager.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// A real webrtcbin offer, as any peer would send it.
QString makeOffer(GstVoicePeerConnectionFactory& factory)
{
    QString error;
    const auto connection = factory.create({}, &error);
    if (!connection)
        return {};
    QString offer;
    connection->onLocalDescription([&offer](const QString&, const QString& sdp) { offer = sdp; });
    VoiceAudioMediaLine media;
    media.cname = media.msid = media.trackId = QStringLiteral("flood");
    connection->addTrack(media, &error);
    connection->createDataChannel(QStringLiteral("flood"), &error);
    connection->setLocalDescription(VoicePeerConnection::DescriptionType::Offer, &error);
    QTest::qWaitFor([&] { return !offer.isEmpty(); }, 10000);
    connection->resetCallbacks();
    connection->close();
    return offer;
}

// The largest gap between the ticks of a 1 ms timer while it runs.
class StallMeter
{
public:
    StallMeter()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            longest = std::max(longest, m_clock.restart());
        });
    }
    void start()
    {
        longest = 0;
        m_clock.start();
        m_timer.start(1);
    }
    void stop() { m_timer.stop(); }
    qint64 longest = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
    factory->setLoopbackOnly(true);
    const QString offer = makeOffer(*factory);
    if (offer.isEmpty()) {
        std::printf("flood: no offer could be made\n");
        return 1;
    }

    VoiceChatManager client(factory);
    client.setMicrophoneDeviceId("vmic");
    bool connected = false;
    QObject::connect(&client, &VoiceChatManager::voiceStatusChanged, &client,
                     [&connected](const QString& status) { connected = status == QLatin1String("connected"); });
    client.joinVoice();
    if (!QTest::qWaitFor([&] { return connected; }, 5000)) {
        std::printf("flood: the client could not join\n");
        return 2;
    }
    QTest::qWait(500);

    constexpr int Offers = 200;
    QList<QPair<QString, QJsonObject>> events;
    for (int i = 0; i < Offers; ++i) {
        const QString sid = QStringLiteral("hostile-%1").arg(i);
        events.append({QStringLiteral("voice_offer"),
                       QJsonObject{{"fromSid", sid}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", offer}}}}});
        events.append({QStringLiteral("voice_ice_candidate"),
                       QJsonObject{{"fromSid", sid},
                                   {"candidate", QJsonObject{{"candidate", QStringLiteral("candidate:1 1 UDP 2122260223 "
                                                                                          "127.0.0.1 9 typ host")},
                                                             {"sdpMid", "audio0"}}}}});
    }

    StallMeter meter;
    QElapsedTimer flood;
    flood.start();
    meter.start();
    int next = 0;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, &sender, [&] {
        for (int i = 0; i < 10 && next < events.size(); ++i, ++next)
            client.handleSignalingEvent(events.at(next).first, events.at(next).second);
    });
    sender.start(5);
    QTest::qWaitFor([&] { return next >= events.size(); }, 60000);
    const qint64 handledMs = flood.elapsed();
    QTest::qWait(2000);
    meter.stop();
    const qint64 floodStall = meter.longest;

    meter.start();
    client.leaveVoice();
    QTest::qWait(1000);
    meter.stop();

    double load[3] = {};
    getloadavg(load, 3);
    std::printf("signalling flood (%d offers + %d candidates from %d sids, 10 events every 5 ms): "
                "longest GUI stall %lld ms during the flood and 2 s after (events handled in %lld ms); "
                "leaving afterwards: longest GUI stall %lld ms; load average %.2f\n",
                Offers, Offers, Offers, floodStall, handledMs, meter.longest, load[0]);
    return 0;
}
