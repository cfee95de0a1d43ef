#pragma once

#include <QString>
#include <QUrl>

// Where the community server lives and the paths of its routes.
namespace ServerEndpoints {

inline constexpr char kLogin[] = "/api/desktop/login";
inline constexpr char kProfile[] = "/api/desktop/profile";
inline constexpr char kLogout[] = "/logout";
inline constexpr char kUserProfilePrefix[] = "/api/desktop/users/";
inline constexpr char kMembers[] = "/api/desktop/members";
inline constexpr char kPresence[] = "/api/desktop/presence";
inline constexpr char kOnlineMembers[] = "/api/online-members";
inline constexpr char kChatMessages[] = "/api/desktop/chat/messages";
inline constexpr char kIdeas[] = "/api/desktop/ideas";
inline constexpr char kIdeaCreate[] = "/ideas/create";
inline constexpr char kLeaderboard[] = "/api/desktop/games/leaderboard";
inline constexpr char kAvatarPrefix[] = "/static/avatars/";
inline constexpr char kNebuliteImage[] = "/static/images/nebulite.png";
inline constexpr char kNebuliteDownload[] = "/download/nebulite";
inline constexpr char kRealtimePath[] = "/socket.io/";
inline constexpr char kRealtimeQuery[] = "EIO=4&transport=websocket";

// The address given on the command line, else MOONLODGE_BASE_URL from the
// environment when set, else the compiled-in one. Always without a trailing slash.
QString baseUrl();

// The command line's address, which wins over the environment and the built-in one.
void setBaseUrlOverride(const QString& address);

// Base URL followed by the path.
QUrl url(const QString& path);

// The real-time channel URL: ws:// for an http base, wss:// for https, same host and port.
QUrl realtimeUrl();

// One path segment made safe: every reserved character percent-encoded, so a
// server value such as "../logout" can never reach another route. Empty for a
// value that cannot be a segment ("", ".", "..").
QString pathSegment(const QString& value);

// Empty (invalid) URLs for values that cannot be a path segment; a request to
// one fails at once like any unreachable address.
QUrl avatarUrl(const QString& fileName);
QUrl userProfileUrl(const QString& userName);
QUrl ideaLikeUrl(qint64 ideaId);

}  // namespace ServerEndpoints
