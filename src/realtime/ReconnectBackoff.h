#pragma once

#include <functional>

// The waits between reconnection attempts: 1 s doubling up to 30 s, each
// shortened by a random part of up to a fifth, so that many clients dropped
// together do not all come back in the same instant.
class ReconnectBackoff
{
public:
    static constexpr int kFirstDelayMs = 1000;
    static constexpr int kMaxDelayMs = 30000;

    // `random` returns a value in [0, 1); the default draws from the global generator.
    explicit ReconnectBackoff(std::function<double()> random = {});

    // The wait before the next attempt; every call counts as one more attempt.
    int nextDelayMs();
    // A connection that held: the next loss starts again from the first delay.
    void reset() { m_attempts = 0; }
    int attempts() const { return m_attempts; }

private:
    std::function<double()> m_random;
    int m_attempts = 0;
};
