#pragma once

#include <QLatin1String>
#include <QString>

// Names of the events carried by the real-time channel.
namespace RealtimeEvents {

// Chat
inline constexpr QLatin1String kSendMessage("send_message");
inline constexpr QLatin1String kReceiveMessage("receive_message");

// Presence
inline constexpr QLatin1String kOnlineMembersChanged("online_members_changed");
inline constexpr QLatin1String kVoiceAccountStatus("voice_account_status");
inline constexpr QLatin1String kVoiceUserJoined("voice_user_joined");
inline constexpr QLatin1String kVoiceUserLeft("voice_user_left");

// Games
inline constexpr QLatin1String kLeaderboardChanged("nebulite_leaderboard_changed");

// Voice signalling: every event whose name starts with the prefix goes to the voice engine.
inline constexpr QLatin1String kVoicePrefix("voice_");
inline constexpr QLatin1String kVoiceJoin("voice_join");
inline constexpr QLatin1String kVoiceLeave("voice_leave");

// Someone came online, went away or entered or left the voice room.
inline bool isPresenceEvent(const QString& name)
{
    return name == kOnlineMembersChanged || name == kVoiceAccountStatus || name == kVoiceUserJoined
           || name == kVoiceUserLeft;
}

inline bool isVoiceEvent(const QString& name)
{
    return name.startsWith(kVoicePrefix);
}

}  // namespace RealtimeEvents
