// Hover-driven effects: reversal without jumps, instant reset on disable, and the
// places the wrappers move their widgets to.

#include "widgets/effects/ButtonLiftHover.h"
#include "shell/HomeHoverLift.h"
#include "online/OnlineMemberHover.h"

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
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

// Finer-grained than QTRY_*: used to catch an animation part-way through.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 2000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(1);
    }
    return true;
}

// A button inside a slot widget whose vertical layout ButtonLiftHover lifts it in.
struct SlotButton
{
    std::unique_ptr<QWidget> slot = std::make_unique<QWidget>();
    QVBoxLayout* layout = new QVBoxLayout(slot.get());
    QPushButton* button = new QPushButton(QStringLiteral("Publish Idea"), slot.get());
    ButtonLiftHover* hover = nullptr;

    SlotButton(bool glows, bool grows)
    {
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(button);
        hover = new ButtonLiftHover(button, QSize(110, 30), QColor(0xa7, 0x8b, 0xfa), glows, grows,
                                    layout);
    }
    int lift() const { return layout->contentsMargins().bottom(); }
    int glowAlpha() const { return hover->shadow()->color().alpha(); }
};

} // namespace

class TestHoverEffects : public QObject
{
    Q_OBJECT

private slots:
    void disablingHoveredButtonDropsLiftAndGlowAtOnce_data();
    void disablingHoveredButtonDropsLiftAndGlowAtOnce();
    void enabledButtonStartsAgainFromRest();
    void leavingHalfwayReversesFromReachedValue();
    void homeHoverLiftRestsLowAndRisesToTop();
    void onlineRowSlidesRightAndOverlayFollowsRow();
};

void TestHoverEffects::disablingHoveredButtonDropsLiftAndGlowAtOnce_data()
{
    QTest::addColumn<bool>("waitForFullHover");
    QTest::newRow("fully hovered") << true;
    QTest::newRow("mid animation") << false;
}

void TestHoverEffects::disablingHoveredButtonDropsLiftAndGlowAtOnce()
{
    QFETCH(bool, waitForFullHover);
    SlotButton b(true, true);
    sendEnter(b.button);
    if (waitForFullHover) {
        QTRY_COMPARE(b.glowAlpha(), 170);
        QCOMPARE(b.lift(), 4);
        QCOMPARE(b.button->size(), QSize(118, 34));
    } else {
        QVERIFY(waitUntil([&] { return b.glowAlpha() > 0; }));
    }

    b.button->setEnabled(false);
    // No event loop turn: the reset must already be there.
    QCOMPARE(b.lift(), 0);
    QCOMPARE(b.button->size(), QSize(110, 30));
    QCOMPARE(b.glowAlpha(), 0);

    // And it stays there: nothing keeps animating a disabled button.
    QTest::qWait(250);
    QCOMPARE(b.lift() + b.glowAlpha(), 0);
}

void TestHoverEffects::enabledButtonStartsAgainFromRest()
{
    SlotButton b(true, false);
    sendEnter(b.button);
    QTRY_COMPARE(b.glowAlpha(), 170);
    b.button->setEnabled(false);
    b.button->setEnabled(true);

    // Leaving now must not flash the old glow back in.
    QList<int> alphas;
    connect(b.hover->shadow(), &QGraphicsDropShadowEffect::colorChanged, this,
            [&](const QColor& c) { alphas << c.alpha(); });
    sendLeave(b.button);
    QTest::qWait(250);
    for (int alpha : alphas)
        QCOMPARE(alpha, 0);
    QCOMPARE(b.glowAlpha(), 0);
    QCOMPARE(b.lift(), 0);
}

void TestHoverEffects::leavingHalfwayReversesFromReachedValue()
{
    SlotButton b(true, true);
    QList<int> alphas;
    connect(b.hover->shadow(), &QGraphicsDropShadowEffect::colorChanged, this,
            [&](const QColor& c) {
                alphas << c.alpha();
            });

    sendEnter(b.button);
    QVERIFY(waitUntil([&] { return b.glowAlpha() >= 50; }));
    const int reachedAlpha = b.glowAlpha();
    const int reachedLift = b.lift();
    QVERIFY2(reachedAlpha < 170, "the enter animation should still be running");

    const int mark = int(alphas.size());
    sendLeave(b.button);
    // The reverse run starts where the forward run stopped.
    QCOMPARE(b.glowAlpha(), reachedAlpha);
    QCOMPARE(b.lift(), reachedLift);

    QTRY_COMPARE(b.glowAlpha(), 0);
    QCOMPARE(b.lift(), 0);
    QCOMPARE(b.button->size(), QSize(110, 30));

    const QList<int> after = alphas.mid(mark);
    QVERIFY(!after.isEmpty());
    QVERIFY2(after.first() > 0, "reverse run jumped straight to rest");
    int previous = reachedAlpha;
    for (int alpha : after) {
        QVERIFY2(alpha <= previous, "glow went up again while leaving");
        previous = alpha;
    }
}

void TestHoverEffects::homeHoverLiftRestsLowAndRisesToTop()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* card = new QPushButton(QStringLiteral("Ideas"), &window);
    card->setMinimumHeight(215);
    layout->addWidget(card);
    // The lift takes the card's place in the layout and adds its height to the hints.
    auto* lift = new HomeHoverLift(card, 5);
    QCOMPARE(layout->indexOf(lift), 0);
    QCOMPARE(card->parentWidget(), lift);
    QCOMPARE(lift->minimumHeight(), 215 + 5);
    window.resize(320, 300);
    window.move(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const int height = lift->height();
    QVERIFY(height >= 215 + 5);
    QCOMPARE(card->geometry(), QRect(0, 5, lift->width(), height - 5));

    sendEnter(lift);
    QTRY_COMPARE(card->y(), 0);
    QCOMPARE(card->geometry(), QRect(0, 0, lift->width(), height - 5));

    // A wider wrapper keeps the hovered placement.
    window.resize(400, 300);
    QTRY_COMPARE(card->width(), lift->width());
    QCOMPARE(card->y(), 0);

    sendLeave(lift);
    QTRY_COMPARE(card->y(), 5);
    QCOMPARE(card->height(), lift->height() - 5);
}

void TestHoverEffects::onlineRowSlidesRightAndOverlayFollowsRow()
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(new QLabel(QStringLiteral("luna")));
    auto* hover = new OnlineMemberHover(&row);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 2, 6, 2));
    QVERIFY(hover->testAttribute(Qt::WA_TransparentForMouseEvents));

    row.resize(260, 60);
    row.move(400, 300);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QCOMPARE(hover->geometry(), row.rect());

    sendEnter(&row);
    QTRY_COMPARE(layout->contentsMargins(), QMargins(6, 2, 0, 2));
    row.resize(300, 70);
    QTRY_COMPARE(hover->geometry(), row.rect());

    sendLeave(&row);
    QTRY_COMPARE(layout->contentsMargins(), QMargins(0, 2, 6, 2));
}


QTEST_MAIN(TestHoverEffects)
#include "tst_hovereffects.moc"
