#pragma once

#include <QFont>
#include <QLabel>
#include <QPixmap>

// A label whose text is drawn as a glowing outline: two soft violet strokes under
// a lilac fill, centred in the label. Wide strokes around glyph outlines are
// costly, and backdrops animate behind the label, so the drawing is kept as a
// picture until the text, font or size changes.
class GlowProfileUsernameLabel : public QLabel
{
    Q_OBJECT

public:
    explicit GlowProfileUsernameLabel(QWidget* parent = nullptr);
    explicit GlowProfileUsernameLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap renderText() const;

    QPixmap m_picture; // drawn for m_pictureText / m_pictureFont / m_pictureSize / m_pictureRatio
    QString m_pictureText;
    QFont m_pictureFont;
    QSize m_pictureSize;
    qreal m_pictureRatio = 0.0;
};
