#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

typedef struct _GstStructure GstStructure;

// The quality of the link to one member, read from webrtcbin's "get-stats"
// replies: round-trip time, loss and jitter of what the member sends, rated
// as 1 to 4 bars. A member whose packets stopped for more than a second has a
// connection problem instead, unless their RTCP reports still arrive: a member
// who muted themselves sends no audio at all, yet their RTP session goes on
// reporting every few seconds, and a member silent with DTX still sends a
// packet every 400 ms. So the problem shows once the audio has stopped for
// StallMs and no report has come for RtcpStallMs (RTCP goes out at randomised
// intervals of up to about 7.5 s). One per member; update is plain computation
// and can run in the statistics callback on webrtcbin's thread.
class LinkQuality
{
public:
    static constexpr qint64 StallMs = 1000;
    static constexpr qint64 RtcpStallMs = 8000;

    struct Reading {
        int roundTripMs = -1; // -1 until the member's receiver reports arrive
        double lossPercent = 0.0;
        int jitterMs = 0;
        int bars = 0; // 1 to 4; 0 when there is a connection problem
        bool connectionProblem = false;

        QString toolTip() const;
    };

    // One statistics reply taken at nowMs (a monotonic clock in ms), with the
    // number of RTCP reports received from the member so far. Loss is
    // measured since the previous reply.
    Reading update(const GstStructure* stats, quint64 rtcpReports, qint64 nowMs);

    static int bars(int roundTripMs, double lossPercent, int jitterMs);

private:
    quint64 m_received = 0;
    qint64 m_lost = 0;
    qint64 m_lastArrivalMs = -1;
    quint64 m_rtcpReports = 0;
    qint64 m_lastReportMs = -1;
};

Q_DECLARE_METATYPE(LinkQuality::Reading)
