#pragma once

#include <QGraphicsDropShadowEffect>
#include <QObject>
#include <QPointer>

class QWidget;
class HoverProgress;

// Soft violet glow around a login form field while it has keyboard focus.
// Owned by the field.
class LoginFieldGlow : public QObject
{
    Q_OBJECT

public:
    explicit LoginFieldGlow(QWidget* field);

    qreal progress() const;
    QGraphicsDropShadowEffect* shadow() const { return m_shadow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_field;
    QPointer<QGraphicsDropShadowEffect> m_shadow;
    HoverProgress* m_progress;
};
