#pragma once

#include <QGraphicsView>
#include <QPointer>

#include <QGraphicsProxyWidget>

// A frameless, transparent graphics view that shows one card and scales it down
// to fit the viewport. It never scales the card beyond its natural size.
class ResponsiveProfileView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit ResponsiveProfileView(QWidget* card, QWidget* parent = nullptr);

    QGraphicsProxyWidget* cardProxy() const { return m_proxy; }

    // Where the scaled card shows, in this view's coordinates (empty without a card).
    QRect cardRect() const;

    // Re-applies the fit; runs on every resize and when the card changes size.
    void fitCard();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QGraphicsProxyWidget> m_proxy;
};
