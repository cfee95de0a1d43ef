#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

typedef struct _GstStructure GstStructure;

// The quality of the link to one member, read from webrtcbin's "get-stats"
// replies: round-trip time, loss and jitter of what the member sends, rated
// as 1 to 4 bars. A member whose packets stopped for more than a second has a
// connection problem instead. One per member; update is plain computation and
// can run in the statistics callback on webrtcbin's thread.
class LinkQuality
{
public:
    static constexpr qint64 StallMs = 1000;

    struct Reading {
        int roundTripMs = -1; // -1 until the member's receiver reports arrive
        double lossPercent = 0.0;
        int jitterMs = 0;
        int bars = 0; // 1 to 4; 0 when there is a connection problem
        bool connectionProblem = false;

        QString toolTip() const;
    };

    // One statistics reply taken at nowMs (a monotonic clock in ms). Loss is
    // measured since the previous reply.
    Reading update(const GstStructure* stats, qint64 nowMs);

    static int bars(int roundTripMs, double lossPercent, int jitterMs);

private:
    quint64 m_received = 0;
    qint64 m_lost = 0;
    qint64 m_lastArrivalMs = -1;
};

Q_DECLARE_METATYPE(LinkQuality::Reading)
