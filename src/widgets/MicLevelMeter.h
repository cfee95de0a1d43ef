#pragma once

#include <QWidget>

// The microphone's live level as a bar, with the speaking threshold drawn on
// it as a handle that can be dragged (or moved with the arrow keys). Levels
// are mean absolute sample values of 16-bit audio, as the speaking detector
// measures them, drawn on a decibel scale from -60 dBFS to full scale.
class MicLevelMeter : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DefaultThreshold = 449;

    explicit MicLevelMeter(QWidget* parent = nullptr);

    int level() const { return m_level; }
    void setLevel(int level);
    int threshold() const { return m_threshold; }
    void setThreshold(int threshold);

    // Where a level sits on the bar, from 0 (left) to 1 (right), and back.
    static double positionOf(int level);
    static int levelAt(double position);

    QSize sizeHint() const override;

signals:
    void thresholdChanged(int threshold);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRectF barRect() const;
    int pixelOf(int level) const;
    void dragTo(double x);
    void updateToolTip();

    int m_level = 0;
    int m_threshold = DefaultThreshold;
};
