#pragma once

#include <QWidget>

// A member's link quality beside their voice control: one to four rising
// bars, or the words "Connection problem" when the link has stalled (zero
// bars). Hidden until the first report. The tool tip carries the numbers.
class LinkQualityBars : public QWidget
{
    Q_OBJECT

public:
    explicit LinkQualityBars(QWidget* parent = nullptr);

    void setQuality(int bars, const QString& toolTip);
    int bars() const { return m_bars; }
    bool isConnectionProblem() const { return m_bars == 0; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_bars = -1;
};
