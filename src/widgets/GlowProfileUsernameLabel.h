#pragma once

#include <QFont>
#include <QLabel>
#include <QPainterPath>

// A label whose text is drawn as a glowing outline: two soft violet strokes under
// a lilac fill, centred in the label.
class GlowProfileUsernameLabel : public QLabel
{
    Q_OBJECT

public:
    explicit GlowProfileUsernameLabel(QWidget* parent = nullptr);
    explicit GlowProfileUsernameLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QPainterPath& textPath();

    QPainterPath m_path; // cached for m_pathText / m_pathFont / m_pathSize
    QString m_pathText;
    QFont m_pathFont;
    QSize m_pathSize;
};
