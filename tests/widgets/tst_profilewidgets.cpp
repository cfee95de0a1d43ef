// Profile widgets: the round avatar's click area and zoom, and the responsive
// card view.

#include "widgets/avatar/CircularProfileAvatar.h"
#include "pages/profile/ProfileCardWidget.h"
#include "pages/profile/ResponsiveProfileView.h"

#include <QEnterEvent>
#include <QGraphicsProxyWidget>
#include <QtTest>

class TestProfileWidgets : public QObject
{
    Q_OBJECT

private slots:
    void avatarClickCountsOnlyInsideTheCentralSquare_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<int>("clicks");
        QTest::newRow("square's inner corners") << QPoint(23, 23) << QPoint(172, 172) << 1;
        QTest::newRow("release on a corner") << QPoint(97, 97) << QPoint(190, 190) << 0;
        QTest::newRow("release on the glow above the square") << QPoint(97, 97) << QPoint(97, 20) << 0;
        QTest::newRow("press and release on a corner") << QPoint(3, 190) << QPoint(3, 190) << 0;
    }

    void avatarClickCountsOnlyInsideTheCentralSquare()
    {
        QFETCH(QPoint, press);
        QFETCH(QPoint, release);
        CircularProfileAvatar avatar;
        int count = 0;
        avatar.setClickCallback([&count] { ++count; });
        avatar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&avatar));
        QTest::mousePress(&avatar, Qt::LeftButton, {}, press);
        QTest::mouseRelease(&avatar, Qt::LeftButton, {}, release);
        QTest::mouseClick(&avatar, Qt::RightButton, {}, QPoint(97, 97));  // never counts
        QTEST(count, "clicks");
    }

    // Idle CPU: the hover zoom settles and its timer stops.
    void avatarZoomSettlesAndStopsTicking()
    {
        CircularProfileAvatar avatar;
        avatar.setPixmap(QPixmap(QStringLiteral(":/avatar/cat.png")));
        QEnterEvent enter(QPointF(97, 97), QPointF(97, 97), QPointF(97, 97));
        QCoreApplication::sendEvent(&avatar, &enter);
        QTRY_VERIFY(avatar.zoom() > 1.0 && !avatar.isZoomAnimating());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&avatar, &leave);
        QTRY_VERIFY(avatar.zoom() == 1.0 && !avatar.isZoomAnimating());
    }

    void profileViewShrinksTheCardInASmallViewport_data()
    {
        QTest::addColumn<QSize>("viewSize");
        QTest::addColumn<qreal>("expectedScale");
        QTest::newRow("narrow") << QSize(350, 900) << 0.5;
        QTest::newRow("both") << QSize(280, 600) << 0.4;
        QTest::newRow("roomy: never enlarged") << QSize(2000, 1600) << 1.0;
    }

    void profileViewShrinksTheCardInASmallViewport()
    {
        QFETCH(QSize, viewSize);
        QFETCH(qreal, expectedScale);
        auto* card = new ProfileCardWidget;
        card->setFixedSize(700, 820);
        ResponsiveProfileView view(card);
        view.resize(viewSize);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(qAbs(view.transform().m11() - expectedScale) < 1e-9);
        QCOMPARE(view.transform().m22(), view.transform().m11());
        // The whole card is visible, centred in the viewport.
        const QRect shown = view.mapFromScene(view.cardProxy()->sceneBoundingRect()).boundingRect();
        QVERIFY(view.viewport()->rect().adjusted(-1, -1, 1, 1).contains(shown));
        QVERIFY((shown.center() - view.viewport()->rect().center()).manhattanLength() <= 4);
    }
};

QTEST_MAIN(TestProfileWidgets)
#include "tst_profilewidgets.moc"
