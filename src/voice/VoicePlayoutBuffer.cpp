#include "voice/VoicePlayoutBuffer.h"

#include <algorithm>
#include <utility>

qint64 VoicePlayoutBuffer::extend(quint16 sequence)
{
    if (!m_haveSequence) {
        m_haveSequence = true;
        m_lastIndex = sequence;
        return m_lastIndex;
    }
    const qint16 step = qint16(quint16(sequence - quint16(m_lastIndex)));
    const qint64 index = m_lastIndex + step;
    m_lastIndex = std::max(m_lastIndex, index);
    return index;
}

void VoicePlayoutBuffer::restartAt(qint64 index)
{
    for (QByteArray& slot : m_slots)
        slot.clear();
    m_anchored = true;
    m_playing = false;
    m_next = index;
    m_highest = index - 1;
    m_concealedRun = 0;
    m_rebase = true;
}

void VoicePlayoutBuffer::push(quint16 sequence, const QByteArray& opus, qint64 arrivalMs)
{
    if (opus.isEmpty())
        return;
    const qint64 index = extend(sequence);
    if (!m_anchored || index >= m_next + Slots)
        restartAt(index);
    if (index < m_next || has(index)) {
        ++m_dropped; // too late, or a duplicate
        return;
    }
    m_slots[slotOf(index)] = opus;
    m_slotIndex[slotOf(index)] = index;
    m_highest = std::max(m_highest, index);

    if (std::exchange(m_rebase, false))
        m_transitBase = arrivalMs - index * FrameMs;
    m_transit[size_t(m_transitPos)] = arrivalMs - index * FrameMs - m_transitBase;
    m_transitPos = (m_transitPos + 1) % JitterWindow;
    m_transitCount = std::min(m_transitCount + 1, JitterWindow);
    updateTarget();
}

void VoicePlayoutBuffer::updateTarget()
{
    qint64 jitter = 0;
    if (m_transitCount > 1) {
        std::array<qint64, JitterWindow> transit = m_transit;
        const auto end = transit.begin() + m_transitCount;
        const int outliers = m_transitCount * JitterOutliers / JitterWindow;
        const auto slowest = end - 1 - outliers;
        std::nth_element(transit.begin(), slowest, end);
        jitter = *slowest - *std::min_element(transit.begin(), slowest + 1);
    }
    int frames = int((jitter + FrameMs - 1) / FrameMs);
    if (m_transitCount < JitterWindow)
        frames = StartTargetMs / FrameMs;
    m_targetFrames = std::clamp(frames, MinTargetMs / FrameMs, MaxTargetMs / FrameMs);
}

void VoicePlayoutBuffer::noteDelay()
{
    const int delay = delayMs();
    m_delaySum += delay - (m_delayCount == DelayWindow ? m_delays[size_t(m_delayPos)] : 0);
    m_delays[size_t(m_delayPos)] = delay;
    m_delayPos = (m_delayPos + 1) % DelayWindow;
    m_delayCount = std::min(m_delayCount + 1, DelayWindow);
}

int VoicePlayoutBuffer::averageDelayMs() const
{
    return m_delayCount ? m_delaySum / m_delayCount : 0;
}

VoicePlayoutBuffer::Frame VoicePlayoutBuffer::pop()
{
    Frame frame = take();
    noteDelay();
    return frame;
}

VoicePlayoutBuffer::Frame VoicePlayoutBuffer::take()
{
    if (!m_anchored)
        return {};
    if (!m_playing) {
        if (depthFrames() < targetFrames())
            return {};
        m_playing = true;
    }
    // Keep no more than the target, with a frame of slack for the output's
    // own pace; an excess that lasts (a burst, a stall, drift) is dropped, one
    // that the output's next reads take away again is not.
    if (depthFrames() > targetFrames() + 1) {
        if (++m_excessPops >= TrimAfterPops) {
            m_excessPops = 0;
            while (depthFrames() > targetFrames()) {
                if (has(m_next)) {
                    m_slots[slotOf(m_next)].clear();
                    ++m_dropped;
                }
                ++m_next;
            }
        }
    } else {
        m_excessPops = 0;
    }

    Frame frame;
    if (has(m_next)) {
        frame.source = Source::Packet;
        frame.opus = std::exchange(m_slots[slotOf(m_next)], QByteArray());
    } else if (has(m_next + 1)) {
        frame.source = Source::Fec;
        frame.opus = m_slots[slotOf(m_next + 1)];
        ++m_fec;
    } else {
        if (++m_concealedRun > MaxConcealedRun) {
            // The member stopped talking: play silence until they start again.
            m_anchored = false;
            m_playing = false;
            return {};
        }
        ++m_concealed;
        frame.source = Source::Concealed;
        // Nothing newer has arrived: the packet is late, not lost, so it
        // keeps its place (the delay grows by this frame).
        if (m_highest < m_next)
            return frame;
    }
    if (frame.source != Source::Concealed)
        m_concealedRun = 0;
    ++m_next;
    return frame;
}

int VoicePlayoutBuffer::targetMs() const
{
    return targetFrames() * FrameMs;
}

int VoicePlayoutBuffer::depthFrames() const
{
    return m_highest >= m_next ? int(m_highest - m_next + 1) : 0;
}

int VoicePlayoutBuffer::delayMs() const
{
    return m_anchored ? depthFrames() * FrameMs : 0;
}

bool VoicePlayoutBuffer::has(qint64 index) const
{
    const size_t slot = slotOf(index);
    return index >= m_next && !m_slots[slot].isEmpty() && m_slotIndex[slot] == index;
}

size_t VoicePlayoutBuffer::slotOf(qint64 index)
{
    return size_t(((index % Slots) + Slots) % Slots);
}
