#include "voice/PushToTalkKey.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// The push-to-talk key as seen while the window has focus (offscreen: no
// global grab).
class tst_PushToTalkKey : public QObject
{
    Q_OBJECT

private:
    QLineEdit m_field;

    void sendKey(QEvent::Type type, int key, bool autoRepeat = false)
    {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(&m_field, &event);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!PushToTalkKey::isGlobalAvailable());
        m_field.show();
        m_field.activateWindow();
        m_field.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&m_field));
    }

    void heldAndReleased_data()
    {
        QTest::addColumn<QString>("events"); // P press, R release, p/r auto-repeated, O another key, D focus lost
        QTest::addColumn<int>("helds");
        QTest::addColumn<int>("releases");
        QTest::newRow("press and release, twice") << "PRPR" << 2 << 2;
        QTest::newRow("auto-repeat keeps it held") << "Prprp" << 1 << 0;
        QTest::newRow("a press seen twice counts once") << "PPR" << 1 << 1;
        QTest::newRow("other keys do nothing") << "O" << 0 << 0;
        QTest::newRow("leaving the window releases") << "PD" << 1 << 1;
    }
    void heldAndReleased()
    {
        QFETCH(QString, events);
        QFETCH(int, helds);
        QFETCH(int, releases);
        PushToTalkKey key;
        key.setKey(Qt::Key_F8, 0);
        QSignalSpy held(&key, &PushToTalkKey::held);
        QSignalSpy released(&key, &PushToTalkKey::released);
        for (QChar event : events) {
            const bool press = event.toUpper() == 'P' || event == 'O';
            if (event == 'D') {
                QEvent deactivate(QEvent::ApplicationDeactivate);
                QApplication::sendEvent(qApp, &deactivate);
            } else {
                sendKey(press ? QEvent::KeyPress : QEvent::KeyRelease, event == 'O' ? Qt::Key_F9 : Qt::Key_F8,
                        event.isLower());
            }
        }
        QCOMPARE(held.count(), helds);
        QCOMPARE(released.count(), releases);
        QCOMPARE(key.isHeld(), helds > releases);
    }

    void recording_data()
    {
        QTest::addColumn<int>("pressed");
        QTest::addColumn<QString>("nameAfter");
        QTest::newRow("a letter becomes the key") << int(Qt::Key_V) << "V";
        QTest::newRow("a function key") << int(Qt::Key_F9) << "F9";
        QTest::newRow("Escape keeps the old key") << int(Qt::Key_Escape) << "F8";
    }
    void recording()
    {
        QFETCH(int, pressed);
        PushToTalkKey key;
        key.setKey(Qt::Key_F8, 0);
        QSignalSpy recorded(&key, &PushToTalkKey::keyRecorded);
        QSignalSpy cancelled(&key, &PushToTalkKey::recordingCancelled);
        QSignalSpy held(&key, &PushToTalkKey::held);
        m_field.clear();

        key.recordNextKey();
        QVERIFY(key.isRecording());
        QTest::keyClick(&m_field, Qt::Key(pressed));
        QVERIFY(!key.isRecording());
        QTEST(key.keyName(), "nameAfter");
        QCOMPARE(recorded.count() + cancelled.count(), 1);
        QCOMPARE(held.count(), 0);
        // The recording press is not typed into the window; later typing is.
        QCOMPARE(m_field.text(), QString());
        QTest::keyClick(&m_field, Qt::Key_A);
        QCOMPARE(m_field.text(), QStringLiteral("a"));
    }
};

QTEST_MAIN(tst_PushToTalkKey)
#include "tst_PushToTalkKey.moc"
