#include "realtime/ReconnectBackoff.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {
constexpr double kJitterShare = 0.2;
constexpr int kMaxDoublings = 5;  // 1 s << 5 = 32 s, past the cap
}

ReconnectBackoff::ReconnectBackoff(std::function<double()> random)
    : m_random(random ? std::move(random) : [] { return QRandomGenerator::global()->generateDouble(); })
{
}

int ReconnectBackoff::nextDelayMs()
{
    const int doublings = std::min(m_attempts, kMaxDoublings);
    ++m_attempts;
    const int base = std::min(kFirstDelayMs << doublings, kMaxDelayMs);
    return base - static_cast<int>(base * kJitterShare * std::clamp(m_random(), 0.0, 1.0));
}
