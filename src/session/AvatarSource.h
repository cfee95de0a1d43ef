#pragma once

#include <QPixmap>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QObject;

// Where a member's picture comes from: the "profile_image" file name names one
// of the built-in avatars or a picture the server keeps under /static/avatars/.
namespace AvatarSource {

enum class Lookup { BuiltInOnly, DownloadOnly, BuiltInFirst };

// The built-in picture of that name, or a null pixmap.
QPixmap builtInAvatar(const QString& fileName);

// Finds the picture as `lookup` says and hands it to `show`: at once for a
// built-in one, after the download otherwise. Nothing is shown when there is no
// picture, the download fails or is no image, or `guard` is gone by then.
void resolve(QNetworkAccessManager& network, const QString& fileName, Lookup lookup, QObject* guard,
             std::function<void(const QPixmap&)> show, int timeoutMs = 0);

}  // namespace AvatarSource
