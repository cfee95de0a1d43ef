#pragma once

#include <QObject>

// The unread count on the launcher icon, for the docks and task managers that
// listen to the com.canonical.Unity.LauncherEntry signal on the session bus.
// It is a broadcast: desktops without such a launcher ignore it.
class LauncherBadge : public QObject
{
    Q_OBJECT

public:
    explicit LauncherBadge(QObject* parent = nullptr);

    // Shows the count, or hides the badge for 0.
    void setCount(int count);
};
