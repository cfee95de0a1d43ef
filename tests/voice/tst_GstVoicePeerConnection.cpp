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

// What one connection reported, from GStreamer's threads.
struct Reports
{
    std::mutex mutex;
    QStringList events;
    QString description;
    QList<QPair<QString, QString>> candidates;
    QStringList failures;
    int callbacks = 0;

    void attach(VoicePeerConnection& connection)
    {
        auto note = [this](auto update) {
            return [this, update](auto... values) {
                std::lock_guard<std::mutex> lock(mutex);
                update(values...);
                ++callbacks;
            };
        };
        connection.onLocalDescription(note([this](const QString& type, const QString& sdp) {
            events << type;
            description = sdp;
        }));
        connection.onLocalCandidate(note([this](const QString& candidate, const QString& mid) {
            events << "candidate";
            candidates.append({candidate, mid});
        }));
        connection.onStateChange(note([this](VoicePeerConnection::State state) { events << QString::number(int(state)); }));
        connection.onFailure(note([this](const QString& text) { failures << text; }));
    }
    template <typename Read>
    auto read(Read reader)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return reader();
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
    if (application > 0) {
        QString tail = sdp.mid(application);
        tail.replace(QRegularExpression("a=ice-ufrag:\\S+"), "a=ice-ufrag:otherufrag");
        tail.replace(QRegularExpression("a=ice-pwd:\\S+"), "a=ice-pwd:otherpasswordotherpassword");
        sdp = sdp.left(application) + tail;
    }
    return sdp;
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
        Reports offers;
        Reports answers;
        offers.attach(*offerer);
        answers.attach(*answerer);
        QVERIFY(offerer->addTrack(audioLine(1), &error));
        QVERIFY(offerer->createDataChannel("test", &error));
        const auto answeringTrack = answerer->addTrack(audioLine(2), &error);
        QVERIFY(answeringTrack);

        // The offer completes off the calling thread; candidates follow it, never precede it.
        QVERIFY(offerer->setLocalDescription(VoicePeerConnection::DescriptionType::Unspecified, &error));
        QTRY_VERIFY(offers.read([&] { return offers.events.contains("candidate"); }));
        QCOMPARE(offers.read([&] { return offers.events.first(); }), QString("offer"));

        // Candidates that come before the description are held, then applied.
        for (const auto& candidate : offers.read([&] { return offers.candidates; }))
            QVERIFY(answerer->addRemoteCandidate(candidate.first, candidate.second, &error));
        QVERIFY(!answerer->addRemoteCandidate("candidate:broken", "audio0", &error));
        QVERIFY(!answerer->setRemoteDescription("not sdp", "offer", &error));
        const QString offer = foreignOffer(offers.read([&] { return offers.description; }));
        QVERIFY(answerer->setRemoteDescription(offer, "offer", &error));
        QVERIFY(answerer->setLocalDescription(VoicePeerConnection::DescriptionType::Answer, &error));
        QTRY_VERIFY(answers.read([&] { return answers.events.contains("answer"); }));
        const QString answer = answers.read([&] { return answers.description; });
        QVERIFY2(answer.contains(QRegularExpression("m=audio \\d+ [A-Z/]+ 96")), qPrintable(answer));
        QVERIFY(answer.contains("a=rtpmap:96 OPUS/48000", Qt::CaseInsensitive));
        QCOMPARE(answeringTrack->payloadType(), 96);

        QVERIFY(offerer->setRemoteDescription(answer, "answer", &error));
        for (const auto& candidate : answers.read([&] { return answers.candidates; }))
            QVERIFY(offerer->addRemoteCandidate(candidate.first, candidate.second, &error));
        QTRY_COMPARE_WITH_TIMEOUT(offerer->state(), VoicePeerConnection::State::Connected, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(answerer->state(), VoicePeerConnection::State::Connected, 10000);
        QVERIFY(offers.read([&] { return offers.failures.isEmpty(); }));
        QVERIFY(answers.read([&] { return answers.failures.isEmpty(); }));

        // Closing returns at once; nothing is reported afterwards, even as the other side goes.
        QElapsedTimer clock;
        clock.start();
        answerer->close();
        QVERIFY(clock.elapsed() < 50);
        const int answered = answers.read([&] { return answers.callbacks; });
        offerer->close();
        QTest::qWait(300);
        QCOMPARE(answers.read([&] { return answers.callbacks; }), answered);
        QCOMPARE(answerer->state(), VoicePeerConnection::State::Closed);
    }
};

QTEST_GUILESS_MAIN(TestGstVoicePeerConnection)
#include "tst_GstVoicePeerConnection.moc"
