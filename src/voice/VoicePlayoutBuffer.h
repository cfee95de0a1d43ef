#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// The Opus packets of one remote member between their arrival and their
// playback, in sequence order. The output takes one 20 ms frame at a time at
// its own pace; the buffer keeps only as much delay as the measured arrival
// jitter needs (20 to 60 ms): frames beyond it are dropped, so bursts, stalls
// and the drift between two sound cards' clocks never become lasting delay.
// A missing frame is filled from the next packet's forward error correction
// when that packet is there, otherwise by the decoder's concealment.
// Not thread-safe: the owner serialises push and pop.
class VoicePlayoutBuffer
{
public:
    static constexpr int FrameMs = 20;
    static constexpr int MinTargetMs = 20;
    static constexpr int MaxTargetMs = 60;
    // The target until a full window of arrivals has been seen: an estimate
    // from a few packets is too low, so playback starts at the top of the band
    // and only comes down once the link has shown itself calm. The delay then
    // never grows beyond where it started, whatever the load does later.
    static constexpr int StartTargetMs = MaxTargetMs;
    // Packets further ahead than this start the stream again.
    static constexpr int Slots = 16;
    // After this many concealed frames in a row the member counts as silent.
    static constexpr int MaxConcealedRun = 5;
    // Frames taken out while above the target before the excess is dropped.
    static constexpr int TrimAfterPops = 5;
    // Arrivals over which the jitter is measured (three seconds of audio, pauses left out);
    // the slowest 5 % of them do not count, so one late packet (a scheduling
    // hiccup under load) does not raise the delay for the next seconds.
    static constexpr int JitterWindow = 150;
    static constexpr int JitterOutliers = JitterWindow / 20;
    // Frames taken out over which the average delay is measured (one second).
    static constexpr int DelayWindow = 50;

    enum class Source { Silence, Packet, Fec, Concealed };
    struct Frame
    {
        Source source = Source::Silence;
        // Packet: the frame's packet; Fec: the next packet, which carries it.
        QByteArray opus;
    };

    void push(quint16 sequence, const QByteArray& opus, qint64 arrivalMs);
    Frame pop();

    int targetMs() const;
    // Audio waiting to be played, holes included.
    int delayMs() const;
    // The same, averaged over the last DelayWindow frames taken out.
    int averageDelayMs() const;
    quint64 concealedFrames() const { return m_concealed; }
    quint64 fecFrames() const { return m_fec; }
    quint64 droppedFrames() const { return m_dropped; }

private:
    Frame take();
    qint64 extend(quint16 sequence);
    int targetFrames() const { return m_targetFrames; }
    void updateTarget();
    void noteDelay();
    int depthFrames() const;
    bool has(qint64 index) const;
    static size_t slotOf(qint64 index);
    void restartAt(qint64 index);

    std::array<QByteArray, Slots> m_slots;
    std::array<qint64, Slots> m_slotIndex{};
    bool m_anchored = false;
    bool m_playing = false;
    qint64 m_next = 0;
    qint64 m_highest = -1;
    bool m_haveSequence = false;
    qint64 m_lastIndex = 0;
    int m_concealedRun = 0;
    int m_excessPops = 0;

    std::array<qint64, JitterWindow> m_transit{};
    int m_transitCount = 0;
    int m_transitPos = 0;
    int m_targetFrames = StartTargetMs / FrameMs;
    // Transit times are taken relative to the first packet after a pause, so
    // the window spans pauses (the sender's sequence numbers do not count them).
    qint64 m_transitBase = 0;
    bool m_rebase = true;

    std::array<int, DelayWindow> m_delays{};
    int m_delayCount = 0;
    int m_delayPos = 0;
    int m_delaySum = 0;

    quint64 m_concealed = 0;
    quint64 m_fec = 0;
    quint64 m_dropped = 0;
};
