#pragma once

#include <QMargins>
#include <QPointer>
#include <QWidget>

class HoverProgress;

// Hover highlight of an online-member row: a transparent overlay behind the row's
// content (mouse-transparent, kept as large as the row) that fades in a violet
// pill while the row's content slides up to 6 px to the right.
class OnlineMemberHover : public QWidget
{
    Q_OBJECT

public:
    explicit OnlineMemberHover(QWidget* row);

    qreal level() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void apply(qreal v);

    QPointer<QWidget> m_row;
    QMargins m_baseMargins;
    HoverProgress* m_progress;
};
