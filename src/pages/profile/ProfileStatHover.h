#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QVBoxLayout;
class HoverProgress;

// Wrapper ("profileStatHover") of a profile statistics card: on hover the card
// rises by up to 4 px, its border turns from dusk violet to bright violet and
// violet rings fade in around it. Takes the card's place in the caller's layout.
class ProfileStatHover : public QWidget
{
    Q_OBJECT

public:
    explicit ProfileStatHover(QWidget* card, QWidget* parent = nullptr);

    QWidget* card() const { return m_card; }
    qreal progress() const;

    // Border colour at progress p: #3e3157 blended towards #a78bfa, per channel.
    static QColor borderColor(qreal p);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void apply(qreal p);

    QPointer<QWidget> m_card;
    QVBoxLayout* m_layout;
    HoverProgress* m_progress;
    QString m_borderName;
};
