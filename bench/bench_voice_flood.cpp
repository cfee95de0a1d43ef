// A hostile server floods the client with voice signalling: 200 offers from
// 200 different sids, each followed by a candidate, ten events every 5 ms.
// Prints the longest stall of the GUI thread (the largest gap between the
// ticks of a 1 ms timer) during the flood and while the client leaves.

#include "BenchVoiceClient.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

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
    static_cast<void>(QTest::qWaitFor([&] { return !offer.isEmpty(); }, 10000)); // an empty offer is reported
    connection->resetCallbacks();
    connection->close();
    return offer;
}

// The largest gap between the ticks of a 1 ms timer while `work` runs.
qint64 longestGapWhile(const std::function<void()>& work)
{
    qint64 longest = 0;
    QElapsedTimer clock;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] { longest = std::max(longest, clock.restart()); });
    clock.start();
    timer.start(1);
    work();
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const auto factory = SignedInVoiceClient::loopbackFactory();
    const QString offer = makeOffer(*factory);
    if (offer.isEmpty()) {
        std::printf("flood: no offer could be made\n");
        return 1;
    }

    VoiceChatManager client(factory);
    client.setMicrophoneDeviceId("vmic");
    if (!joinedVoice(client)) {
        std::printf("flood: the client could not join\n");
        return 2;
    }
    QTest::qWait(500);

    constexpr int Offers = 200;
    const QJsonObject candidate{{"candidate", "candidate:1 1 UDP 2122260223 127.0.0.1 9 typ host"}, {"sdpMid", "audio0"}};
    QList<QPair<QString, QJsonObject>> events;
    for (int i = 0; i < Offers; ++i) {
        const QString sid = QStringLiteral("hostile-%1").arg(i);
        events.append({"voice_offer", QJsonObject{{"fromSid", sid}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", offer}}}}});
        events.append({"voice_ice_candidate", QJsonObject{{"fromSid", sid}, {"candidate", candidate}}});
    }

    QElapsedTimer flood;
    flood.start();
    qint64 handledMs = 0;
    const qint64 floodStall = longestGapWhile([&] {
        int next = 0;
        QTimer sender;
        QObject::connect(&sender, &QTimer::timeout, &sender, [&] {
            for (int i = 0; i < 10 && next < events.size(); ++i, ++next)
                client.handleSignalingEvent(events.at(next).first, events.at(next).second);
        });
        sender.start(5);
        static_cast<void>(QTest::qWaitFor([&] { return next >= events.size(); }, 60000));
        handledMs = flood.elapsed();
        QTest::qWait(2000);
    });
    const qint64 leavingStall = longestGapWhile([&] {
        client.leaveVoice();
        QTest::qWait(1000);
    });
    std::printf("signalling flood (%d offers + %d candidates from %d sids, 10 events every 5 ms): "
                "longest GUI stall %lld ms during the flood and 2 s after (events handled in %lld ms); "
                "leaving afterwards: longest GUI stall %lld ms; load average %.2f\n",
                Offers, Offers, Offers, floodStall, handledMs, leavingStall, loadAverage());
    return 0;
}
