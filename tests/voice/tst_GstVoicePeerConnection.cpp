// The GStreamer WebRTC layer on its own, two connections on loopback: the
// order of descriptions and candidates, offers as other WebRTC stacks make
// them, and silence after close.

#include "voice/GstVoicePeerConnection.h"
#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceAudioTrack.h"

#include <QRegularExpression>
#include <QtTest>

#include <mutex>

namespace {

// What one connection reported, from GStreamer's threads: a copy of it is read with seen().
struct Reports
{
    QStringList events; // descriptions' types and "candidate", in order
    QString description;
    QList<QPair<QString, QString>> candidates;
    int failures = 0, callbacks = 0;
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();

    void attach(VoicePeerConnection& connection)
    {
        connection.onLocalDescription([this](const QString& type, const QString& sdp) { note([&] { events << type; description = sdp; }); });
        connection.onLocalCandidate([this](const QString& candidate, const QString& mid) {
            note([&] { events << "candidate"; candidates.append({candidate, mid}); });
        });
        connection.onStateChange([this](VoicePeerConnection::State) { note([] {}); });
        connection.onFailure([this](const QString&) { note([&] { ++failures; }); });
    }
    template <class Update> void note(Update update)
    {
        std::lock_guard<std::mutex> lock(*mutex);
        update();
        ++callbacks;
    }
    Reports seen()
    {
        std::lock_guard<std::mutex> lock(*mutex);
        return *this;
    }
};

VoiceAudioMediaLine audioLine(quint32 ssrc)
{
    VoiceAudioMediaLine media;
    media.ssrc = ssrc;
    media.cname = media.msid = media.trackId = "test";
    media.fmtp = "minptime=10;useinbandfec=1";
    return media;
}

// An offer as some other stacks write it: Opus as payload type 96, and each
// m-line of the BUNDLE group with ICE credentials of its own.
QString foreignOffer(QString sdp)
{
    sdp.replace(QRegularExpression("(m=audio \\d+ [A-Z/]+ )111"), "\\196");
    sdp.replace("a=rtpmap:111 ", "a=rtpmap:96 ").replace("a=fmtp:111 ", "a=fmtp:96 ");
    sdp.replace("a=rtcp-fb:111 ", "a=rtcp-fb:96 ");
    const qsizetype application = sdp.indexOf("m=application");
    QString tail = sdp.mid(application);
    tail.replace(QRegularExpression("a=ice-ufrag:\\S+"), "a=ice-ufrag:otherufrag");
    tail.replace(QRegularExpression("a=ice-pwd:\\S+"), "a=ice-pwd:otherpasswordotherpassword");
    return sdp.left(application) + tail;
}

} // namespace

class TestGstVoicePeerConnection : public QObject
{
    Q_OBJECT

private slots:
    void negotiatesWithAForeignOfferAndStopsReportingAfterClose()
    {
        GstVoicePeerConnectionFactory factory;
        factory.setLoopbackOnly(true);
        QString error;
        const auto offerer = factory.create({}, &error);
        const auto answerer = factory.create({}, &error);
        QVERIFY2(offerer && answerer, qPrintable(error));
        Reports offers, answers;
        offers.attach(*offerer);
        answers.attach(*answerer);
        QVERIFY(offerer->addTrack(audioLine(1), &error));
        QVERIFY(offerer->createDataChannel("test", &error));
        const auto answeringTrack = answerer->addTrack(audioLine(2), &error);
        QVERIFY(answeringTrack);

        // The offer completes off the calling thread; candidates follow it, never precede it.
        QVERIFY(offerer->setLocalDescription(VoicePeerConnection::DescriptionType::Unspecified, &error));
        QTRY_VERIFY(offers.seen().events.contains("candidate"));
        QCOMPARE(offers.seen().events.first(), QString("offer"));

        // Candidates that come before the description are held, then applied.
        for (const auto& candidate : offers.seen().candidates)
            QVERIFY(answerer->addRemoteCandidate(candidate.first, candidate.second, &error));
        QVERIFY(!answerer->addRemoteCandidate("candidate:broken", "audio0", &error));
        QVERIFY(!answerer->setRemoteDescription("not sdp", "offer", &error));
        const QString offer = foreignOffer(offers.seen().description);
        QVERIFY(answerer->setRemoteDescription(offer, "offer", &error));
        QVERIFY(answerer->setLocalDescription(VoicePeerConnection::DescriptionType::Answer, &error));
        QTRY_VERIFY(answers.seen().events.contains("answer"));
        const QString answer = answers.seen().description;
        QVERIFY2(answer.contains(QRegularExpression("m=audio \\d+ [A-Z/]+ 96")), qPrintable(answer));
        QVERIFY(answer.contains("a=rtpmap:96 OPUS/48000", Qt::CaseInsensitive));
        QCOMPARE(answeringTrack->payloadType(), 96);

        QVERIFY(offerer->setRemoteDescription(answer, "answer", &error));
        for (const auto& candidate : answers.seen().candidates)
            QVERIFY(offerer->addRemoteCandidate(candidate.first, candidate.second, &error));
        QTRY_COMPARE_WITH_TIMEOUT(offerer->state(), VoicePeerConnection::State::Connected, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(answerer->state(), VoicePeerConnection::State::Connected, 10000);
        QCOMPARE(offers.seen().failures + answers.seen().failures, 0);

        // Closing returns at once; nothing is reported afterwards, even as the other side goes.
        QElapsedTimer clock;
        clock.start();
        answerer->close();
        QVERIFY(clock.elapsed() < 50);
        const int answered = answers.seen().callbacks;
        offerer->close();
        QTest::qWait(300);
        QCOMPARE(answers.seen().callbacks, answered);
        QCOMPARE(answerer->state(), VoicePeerConnection::State::Closed);
    }
};

QTEST_GUILESS_MAIN(TestGstVoicePeerConnection)
#include "tst_GstVoicePeerConnection.moc"
