#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

// Click detection on an online-member row: installed on the row and on every
// descendant that is not a button (nor inside one), so a left press followed by
// a left release inside the row opens that member's public profile. A press that
// leaves the row before the release opens nothing. Both events are consumed.
// The callback is shared by reference with the panel, so rows built before the
// callback was set still reach it.
class OnlineProfileClick : public QObject
{
    Q_OBJECT

public:
    using OpenProfile = std::function<void(const QString&)>;

    OnlineProfileClick(QWidget* row, const QString& userName, std::shared_ptr<OpenProfile> openProfile);

    // Creates the filter for the row and installs it where it belongs; each
    // watched widget gets the pointing-hand cursor.
    static OnlineProfileClick* install(QWidget* row, const QString& userName,
                                       std::shared_ptr<OpenProfile> openProfile);

    QString userName() const { return m_userName; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_row;
    QString m_userName;
    std::shared_ptr<OpenProfile> m_openProfile;
    bool m_pressed = false;
};
