#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Click detection on a member card: a left press arms it, a left release inside
// the card calls the open-profile callback with the card's user name. A press
// that leaves the card before the release opens nothing.
class MembersProfileClick : public QObject
{
    Q_OBJECT

public:
    using OpenProfile = std::function<void(const QString&)>;

    MembersProfileClick(const QString& userName, OpenProfile openProfile, QObject* parent = nullptr);

    QString userName() const { return m_userName; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_userName;
    OpenProfile m_openProfile;
    bool m_pressed = false;
};
