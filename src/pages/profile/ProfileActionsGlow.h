#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <array>

class QPushButton;
class HoverProgress;

// Translucent container of the profile's two action buttons (Edit = index 0,
// Logout = index 1). Behind each hovered button it paints a soft halo that fades
// with the distance from the button's rounded outline.
class ProfileActionsGlow : public QWidget
{
    Q_OBJECT

public:
    explicit ProfileActionsGlow(QWidget* parent = nullptr);

    // Registers a button that must be a descendant of this container.
    void addGlowButton(QPushButton* button, int index);
    qreal progress(int index) const;

    // The halo for a button of the given size: an image grown by 20 px left and
    // right and 18 px above and below, opaque nowhere, transparent over the button.
    static QImage renderHalo(const QSize& buttonSize, const QColor& color);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct GlowSlot
    {
        QPointer<QPushButton> button;
        HoverProgress* progress = nullptr;
        QColor color;
    };

    QRect haloRect(const GlowSlot& slot) const;

    std::array<GlowSlot, 2> m_slots;
};
