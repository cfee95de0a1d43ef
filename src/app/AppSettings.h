#pragma once

// The one persistent settings store of the client. Open it where needed:
//   QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
namespace AppSettings {

inline constexpr char kOrganization[] = "MoonLodge";
inline constexpr char kApplication[] = "MoonLodgeDesktop";

inline constexpr char kSessionCookies[] = "session/cookies";
inline constexpr char kMicrophoneDeviceId[] = "voice/microphoneDeviceId";
inline constexpr char kSpeakerDeviceId[] = "voice/speakerDeviceId";

}  // namespace AppSettings
