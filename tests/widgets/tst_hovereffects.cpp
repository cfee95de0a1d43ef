// Hover-driven effects: instant reset on disable (the home cards, online rows and
// profile links share the same hover progress).

#include "widgets/effects/ButtonLiftHover.h"

#include <QEnterEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

void sendEnter(QWidget* widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(widget, &event);
}

void sendLeave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

// A glowing, growing button inside the slot layout ButtonLiftHover lifts it in.
struct SlotButton
{
    std::unique_ptr<QWidget> slot = std::make_unique<QWidget>();
    QVBoxLayout* layout = new QVBoxLayout(slot.get());
    QPushButton* button = new QPushButton(QStringLiteral("Publish Idea"), slot.get());
    ButtonLiftHover* hover = nullptr;
    QList<int> alphas;  // every glow alpha set, in order

    SlotButton()
    {
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(button);
        hover = new ButtonLiftHover(button, QSize(110, 30), QColor(0xa7, 0x8b, 0xfa), true, true, layout);
        QObject::connect(hover->shadow(), &QGraphicsDropShadowEffect::colorChanged,
                         [this](const QColor& c) { alphas << c.alpha(); });
    }
    int lift() const { return layout->contentsMargins().bottom(); }
    int glowAlpha() const { return hover->shadow()->color().alpha(); }
};

}  // namespace

class TestHoverEffects : public QObject
{
    Q_OBJECT

private slots:
    void disablingAHoveredButtonDropsTheEffectAtOnce()
    {
        SlotButton b;
        sendEnter(b.button);
        QTRY_VERIFY(b.glowAlpha() > 0 && b.button->width() > 110);
        b.button->setEnabled(false);
        // No event loop turn: the reset must already be there, and stay.
        QCOMPARE(b.lift() + b.glowAlpha(), 0);
        QCOMPARE(b.button->size(), QSize(110, 30));
        QTest::qWait(250);
        QCOMPARE(b.lift() + b.glowAlpha(), 0);

        // Enabled again and left: the old glow does not flash back in.
        b.button->setEnabled(true);
        const qsizetype mark = b.alphas.size();
        sendLeave(b.button);
        QTest::qWait(250);
        QVERIFY(std::all_of(b.alphas.begin() + mark, b.alphas.end(), [](int a) { return a == 0; }));
    }
};

QTEST_MAIN(TestHoverEffects)
#include "tst_hovereffects.moc"
