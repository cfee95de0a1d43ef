#include "voice/LinkQuality.h"

#include <gst/gst.h>

#include <algorithm>
#include <cmath>

namespace {

struct Totals {
    quint64 received = 0;
    qint64 lost = 0;
    double jitterSeconds = 0.0;
    double roundTripSeconds = -1.0;
};

gboolean addEntry(GQuark, const GValue* value, gpointer data)
{
    if (!GST_VALUE_HOLDS_STRUCTURE(value))
        return TRUE;
    const GstStructure* entry = gst_value_get_structure(value);
    auto* totals = static_cast<Totals*>(data);
    double seconds = 0.0;
    if (gst_structure_has_name(entry, "inbound-rtp")) {
        guint64 received = 0;
        gint64 lost = 0;
        if (gst_structure_get_uint64(entry, "packets-received", &received))
            totals->received += received;
        if (gst_structure_get_int64(entry, "packets-lost", &lost))
            totals->lost += lost;
        if (gst_structure_get_double(entry, "jitter", &seconds))
            totals->jitterSeconds = std::max(totals->jitterSeconds, seconds);
    } else if (gst_structure_has_name(entry, "remote-inbound-rtp")) {
        if (gst_structure_get_double(entry, "round-trip-time", &seconds))
            totals->roundTripSeconds = std::max(totals->roundTripSeconds, seconds);
    } else if (gst_structure_has_name(entry, "candidate-pair") && totals->roundTripSeconds < 0.0) {
        if (gst_structure_get_double(entry, "current-round-trip-time", &seconds))
            totals->roundTripSeconds = seconds;
    }
    return TRUE;
}

// 4 when value is below the first limit, 3 below the second, 2 below the third.
int grade(double value, double good, double fair, double poor)
{
    return value < good ? 4 : value < fair ? 3 : value < poor ? 2 : 1;
}

} // namespace

QString LinkQuality::Reading::toolTip() const
{
    if (connectionProblem)
        return QStringLiteral("Connection problem");
    const QString roundTrip = roundTripMs < 0 ? QStringLiteral("–") : QString::number(roundTripMs);
    return QStringLiteral("Round trip: %1 ms\nPacket loss: %2 %\nJitter: %3 ms")
        .arg(roundTrip, QString::number(lossPercent, 'f', 1), QString::number(jitterMs));
}

LinkQuality::Reading LinkQuality::update(const GstStructure* stats, quint64 rtcpReports, qint64 nowMs)
{
    Totals totals;
    if (stats)
        gst_structure_foreach(stats, addEntry, &totals);

    Reading reading;
    if (totals.received > m_received || m_lastArrivalMs < 0)
        m_lastArrivalMs = nowMs;
    if (rtcpReports > m_rtcpReports || m_lastReportMs < 0)
        m_lastReportMs = nowMs;
    m_rtcpReports = rtcpReports;
    const quint64 received = totals.received >= m_received ? totals.received - m_received : totals.received;
    const qint64 lost = std::max<qint64>(0, totals.lost - m_lost);
    m_received = totals.received;
    m_lost = totals.lost;

    reading.connectionProblem = nowMs - m_lastArrivalMs > StallMs && nowMs - m_lastReportMs > RtcpStallMs;
    if (received + lost > 0)
        reading.lossPercent = 100.0 * double(lost) / double(received + lost);
    reading.jitterMs = int(std::lround(totals.jitterSeconds * 1000.0));
    if (totals.roundTripSeconds >= 0.0)
        reading.roundTripMs = int(std::lround(totals.roundTripSeconds * 1000.0));
    reading.bars = reading.connectionProblem ? 0 : bars(reading.roundTripMs, reading.lossPercent, reading.jitterMs);
    return reading;
}

int LinkQuality::bars(int roundTripMs, double lossPercent, int jitterMs)
{
    const int byRoundTrip = roundTripMs < 0 ? 4 : grade(roundTripMs, 150, 300, 500);
    return std::min({byRoundTrip, grade(lossPercent, 1.0, 3.0, 8.0), grade(jitterMs, 20, 40, 80)});
}
