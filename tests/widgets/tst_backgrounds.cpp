// The animated backgrounds: repaints only while something changes.
#include "widgets/backdrops/BackdropCovers.h"
#include "shell/HomeNeonBackground.h"
#include "pages/login/LoginLightLayer.h"

#include <QFrame>
#include <QPushButton>
#include <QtTest>

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class TestBackgrounds : public QObject
{
    Q_OBJECT

private slots:
    // Idle CPU: the home background stops painting while hidden.
    void homeBackgroundRestsWhileHidden()
    {
        QWidget holder;
        auto* background = new HomeNeonBackground(&holder);
        holder.resize(400, 300);
        holder.show();
        QVERIFY(QTest::qWaitForWindowExposed(&holder));
        PaintCounter counter(background);
        QTRY_VERIFY(counter.paints >= 3);
        background->hide();
        QTest::qWait(50);
        counter.paints = 0;
        QTest::qWait(400);
        QCOMPARE(counter.paints, 0);
        background->show();
        QTRY_VERIFY(counter.paints >= 3);
    }

    // Frames repaint around opaque cards, keeping their rounded corners live.
    void backdropRepaintsAroundOpaqueCovers()
    {
        BackdropCovers covers;
        const QRect area(0, 0, 400, 300);
        QRect card(100, 50, 200, 150);
        covers.set([&card] { return QList<QRect>{card}; }, 20);
        const QRegion exposed = covers.exposedRegion(area);
        QVERIFY(!exposed.contains(QPoint(200, 125)));        // the card's middle
        QVERIFY(!exposed.contains(QPoint(105, 125)));        // its left edge, between the corners
        QVERIFY(exposed.contains(QRect(100, 50, 20, 20)));   // top-left corner square
        QVERIFY(exposed.contains(QRect(280, 180, 20, 20)));  // bottom-right corner square
        QVERIFY(exposed.contains(QPoint(50, 125)));          // beside the card
        card.translate(0, 100);  // asked again on every frame
        QVERIFY(covers.exposedRegion(area).contains(QPoint(200, 100)));
    }

    // Fault seen: the login lights repainted every frame; now only on movement or hover change.
    void loginLightsRepaintOnlyOnChange()
    {
        QWidget page;
        page.resize(500, 400);
        auto* bar = new QFrame(&page);
        bar->setGeometry(200, 100, 100, 3);
        auto* button = new QPushButton("Login", &page);
        button->setGeometry(180, 250, 140, 40);
        PaintCounter counter(new LoginLightLayer(bar, button, &page));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QTest::qWait(150);
        counter.paints = 0;
        QTest::qWait(10 * LoginLightLayer::kFrameIntervalMs);
        QCOMPARE(counter.paints, 0);

        button->setAttribute(Qt::WA_UnderMouse, true);
        QTRY_COMPARE(counter.paints, 1);
        bar->move(220, 120);
        QTRY_VERIFY(counter.paints >= 2);
        counter.paints = 0;
        page.hide();
        button->setAttribute(Qt::WA_UnderMouse, false);
        QTest::qWait(5 * LoginLightLayer::kFrameIntervalMs);
        QCOMPARE(counter.paints, 0);
    }
};

QTEST_MAIN(TestBackgrounds)
#include "tst_backgrounds.moc"
