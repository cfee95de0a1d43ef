#pragma once

#include "voice/AudioProcessing.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <numeric>
#include <random>

// A far-end talker played on the speaker and its echo picked up by the
// microphone: a delayed, attenuated copy with two later reflections. Frames
// are AudioProcessing's 10 ms at 48 kHz.
class EchoScene
{
public:
    EchoScene(int delayMs, double gain, unsigned seed = 15)
        : m_delay(delayMs * 48), m_gain(gain), m_history(m_delay + 200, 0.0), m_random(seed) {}

    // The next 10 ms: what is played (render) and what the microphone hears.
    void next(AudioProcessing::Frame& render, AudioProcessing::Frame& capture)
    {
        std::normal_distribution<double> white(0.0, 1.0);
        for (int i = 0; i < AudioProcessing::FrameSamples; ++i, ++m_sample) {
            // Coloured noise with a syllable-like envelope.
            m_colour = 0.9 * m_colour + 0.1 * white(m_random);
            const double envelope = 0.15 + 0.85 * std::abs(std::sin(2.0 * M_PI * 2.5 * m_sample / 48000.0));
            const double played = std::clamp(40000.0 * envelope * m_colour, -32000.0, 32000.0);
            m_history.push_back(played);
            m_history.pop_front();
            const std::size_t now = m_history.size() - 1;
            const double echo = m_history[now - m_delay] + 0.4 * m_history[now - m_delay - 48]
                + 0.2 * m_history[now - m_delay - 150];
            render[i] = qint16(played);
            capture[i] = qint16(std::clamp(m_gain * echo, -32768.0, 32767.0));
        }
    }

private:
    std::size_t m_delay;
    double m_gain;
    std::deque<double> m_history;
    std::mt19937 m_random;
    double m_colour = 0.0;
    long m_sample = 0;
};

inline double frameEnergy(const AudioProcessing::Frame& frame)
{
    return std::inner_product(frame.begin(), frame.end(), frame.begin(), 0.0);
}
