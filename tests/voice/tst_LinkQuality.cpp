#define GST_USE_UNSTABLE_API
#include "voice/LinkQuality.h"

#include <QTest>

#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>

namespace {

// A "get-stats" reply recorded from two webrtcbins talking on loopback (entries
// the link quality does not read left out), with the figures as arguments.
QByteArray statsReply(quint64 received, qint64 lost, double jitterSeconds, double roundTripSeconds)
{
    return QStringLiteral(
        "application/x-webrtc-stats, "
        "rtp-inbound-stream-stats_1959078225=(structure)[inbound-rtp, type=(GstWebRTCStatsType)inbound-rtp,"
        " timestamp=(double)321528.89899999998, id=(string)rtp-inbound-stream-stats_1959078225, kind=(string)audio,"
        " packets-received=(guint64)%1, packets-lost=(gint64)%2, jitter=(double)%3, packets-discarded=(guint64)0,"
        " packets-repaired=(guint64)0, bytes-received=(guint64)19231, packets-duplicated=(guint64)0;], "
        "rtp-remote-inbound-stream-stats_4112656716=(structure)[remote-inbound-rtp,"
        " type=(GstWebRTCStatsType)remote-inbound-rtp, timestamp=(double)321528.89899999998,"
        " id=(string)rtp-remote-inbound-stream-stats_4112656716, kind=(string)audio, packets-lost=(gint64)-1,"
        " fraction-lost=(double)0, round-trip-time=(double)%4;];")
        .arg(received).arg(lost).arg(jitterSeconds, 0, 'g', 17).arg(roundTripSeconds, 0, 'g', 17).toUtf8();
}

struct Step {
    quint64 received;
    qint64 lost;
    double jitterSeconds, roundTripSeconds;
    qint64 atMs;
    quint64 rtcpReports = 0;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class tst_LinkQuality : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        gst_init(nullptr, nullptr);
        g_type_class_unref(g_type_class_ref(GST_TYPE_WEBRTC_STATS_TYPE));
    }

    void readings_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("bars");
        QTest::addColumn<QString>("toolTip");
        const Step recorded{349, 0, 0.0028333333333333335, 0.000701904296875, 0};
        const QString fine = "Round trip: 20 ms\nPacket loss: 0.0 %\nJitter: 3 ms";
        QTest::newRow("loss counts since the previous reply") << QList<Step>{{349, 40, 0.003, 0.02, 0}, {449, 50, 0.003, 0.02, 2000}}
                                                              << 1 << "Round trip: 20 ms\nPacket loss: 9.1 %\nJitter: 3 ms";
        QTest::newRow("packets stopped for under a second") << QList<Step>{recorded, {349, 0, 0.003, 0.02, 900}} << 4 << fine;
        QTest::newRow("no packets and no RTCP for 8 s")
            << QList<Step>{recorded, {349, 0, 0.003, 0.02, 5000, 2}, {349, 0, 0.003, 0.02, 13100, 2}} << 0 << "Connection problem";
        QTest::newRow("packets again after a problem")
            << QList<Step>{recorded, {349, 0, 0.003, 0.02, 9000}, {400, 0, 0.003, 0.02, 11000}} << 4 << fine;
    }

    void readings()
    {
        QFETCH(QList<Step>, steps);
        LinkQuality quality;
        LinkQuality::Reading reading;
        for (const Step& step : steps) {
            GstStructure* stats = gst_structure_from_string(
                statsReply(step.received, step.lost, step.jitterSeconds, step.roundTripSeconds).constData(), nullptr);
            QVERIFY(stats);
            reading = quality.update(stats, step.rtcpReports, step.atMs);
            gst_structure_free(stats);
        }
        QTEST(reading.bars, "bars");
        QTEST(reading.toolTip(), "toolTip");
    }
};

QTEST_GUILESS_MAIN(tst_LinkQuality)
#include "tst_LinkQuality.moc"
