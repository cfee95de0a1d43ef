#pragma once

// The one persistent settings store of the client. Open it where needed:
//   QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
namespace AppSettings {

inline constexpr char kOrganization[] = "MoonLodge";
inline constexpr char kApplication[] = "MoonLodgeDesktop";

inline constexpr char kSessionCookies[] = "session/cookies";
inline constexpr char kMicrophoneDeviceId[] = "voice/microphoneDeviceId";
inline constexpr char kSpeakerDeviceId[] = "voice/speakerDeviceId";
inline constexpr char kEchoCancellation[] = "voice/echoCancellation";
inline constexpr char kNoiseSuppression[] = "voice/noiseSuppression";
inline constexpr char kAutomaticGain[] = "voice/automaticGain";
inline constexpr char kSpeakingThreshold[] = "voice/speakingThreshold";
inline constexpr char kPushToTalk[] = "voice/pushToTalk";
inline constexpr char kPushToTalkKey[] = "voice/pushToTalkKey";
inline constexpr char kPushToTalkScanCode[] = "voice/pushToTalkScanCode";
// A map from user name to playback volume in percent; members at 100 % are left out.
inline constexpr char kMemberVolumes[] = "voice/memberVolumes";
inline constexpr char kDesktopNotifications[] = "notifications/desktop";

// The name of the desktop entry, the icon and the AppStream component.
inline constexpr char kDesktopId[] = "org.moonlodge.MoonLodge";

}  // namespace AppSettings
