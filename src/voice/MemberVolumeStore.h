#pragma once

#include <QString>

// Playback volumes of other members, remembered by user name in the settings
// store. Only volumes other than 100 % are kept, and at most MaxRemembered of
// them: past that, a new name's volume lasts for the session only.
class MemberVolumeStore
{
public:
    static constexpr int DefaultPercent = 100;
    static constexpr int MaxPercent = 200;
    static constexpr int MaxRemembered = 500;

    static int volume(const QString& userName);
    static void remember(const QString& userName, int percent);
};
