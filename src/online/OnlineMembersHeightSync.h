#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Keeps the chat's online-member panel as tall as the message area: on every show
// and resize of the watched area (and once when created) the panel gets a fixed
// height equal to the area's height, clamped to 180..500. Owned by the area.
class OnlineMembersHeightSync : public QObject
{
    Q_OBJECT

public:
    OnlineMembersHeightSync(QWidget* messageArea, QWidget* panel);

    static constexpr int kMinimumHeight = 180;
    static constexpr int kMaximumHeight = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sync();

    QPointer<QWidget> m_area;
    QPointer<QWidget> m_panel;
};
