#pragma once

#include <QPointer>
#include <QWidget>

// Static pink glow ("profileIdeaGlow") around one of the member's own idea cards:
// eleven thin rings that grow stronger towards the card. Takes the card's place in
// the caller's layout.
class OwnIdeaGlow : public QWidget
{
    Q_OBJECT

public:
    explicit OwnIdeaGlow(QWidget* card, QWidget* parent = nullptr);

    QWidget* card() const { return m_card; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> m_card;
};
