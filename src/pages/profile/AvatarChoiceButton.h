#pragma once

#include <QPushButton>

class QPropertyAnimation;
class HoverProgress;

// A round avatar choice on the avatar selection page: a soft violet circle with
// the avatar icon in it. Hovering grows the icon from 100 to 108 px and zooms the
// whole drawing to 1.05.
class AvatarChoiceButton : public QPushButton
{
    Q_OBJECT

public:
    explicit AvatarChoiceButton(QWidget* parent = nullptr);
    explicit AvatarChoiceButton(const QIcon& icon, QWidget* parent = nullptr);

    // The built-in avatar this button chooses ("cat.png", ...).
    void setFileName(const QString& fileName) { m_fileName = fileName; }
    QString fileName() const { return m_fileName; }

    qreal zoom() const;
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void animateIconTo(const QSize& size);

    QPropertyAnimation* m_iconAnimation;
    HoverProgress* m_zoomProgress;
    bool m_hovered = false;
    QString m_fileName;
};
