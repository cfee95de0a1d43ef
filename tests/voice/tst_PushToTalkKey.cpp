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

private slots:
    void initTestCase();
    void heldAndReleased_data();
    void heldAndReleased();
    void recording_data();
    void recording();

private:
    QLineEdit m_field;
};

namespace {

void sendKey(QWidget* target, QEvent::Type type, int key, bool autoRepeat)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &event);
}

} // namespace

void tst_PushToTalkKey::initTestCase()
{
    QVERIFY(!PushToTalkKey::isGlobalAvailable());
    m_field.show();
    m_field.activateWindow();
    m_field.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&m_field));
}

void tst_PushToTalkKey::heldAndReleased_data()
{
    QTest::addColumn<QString>("events"); // P press, R release, p/r auto-repeated, O another key, D focus lost
    QTest::addColumn<int>("helds");
    QTest::addColumn<int>("releases");
    QTest::addColumn<bool>("heldAtEnd");

    QTest::newRow("press and release, twice") << "PRPR" << 2 << 2 << false;
    QTest::newRow("auto-repeat keeps it held") << "Prprp" << 1 << 0 << true;
    QTest::newRow("a press seen twice counts once") << "PPR" << 1 << 1 << false;
    QTest::newRow("other keys do nothing") << "O" << 0 << 0 << false;
    QTest::newRow("leaving the window releases") << "PD" << 1 << 1 << false;
}

void tst_PushToTalkKey::heldAndReleased()
{
    QFETCH(QString, events);
    PushToTalkKey key;
    key.setKey(Qt::Key_F8, 0);
    QSignalSpy helds(&key, &PushToTalkKey::held);
    QSignalSpy releases(&key, &PushToTalkKey::released);
    for (QChar event : events) {
        switch (event.unicode()) {
        case 'P': sendKey(&m_field, QEvent::KeyPress, Qt::Key_F8, false); break;
        case 'R': sendKey(&m_field, QEvent::KeyRelease, Qt::Key_F8, false); break;
        case 'p': sendKey(&m_field, QEvent::KeyPress, Qt::Key_F8, true); break;
        case 'r': sendKey(&m_field, QEvent::KeyRelease, Qt::Key_F8, true); break;
        case 'O': sendKey(&m_field, QEvent::KeyPress, Qt::Key_F9, false); break;
        case 'D': {
            QEvent deactivate(QEvent::ApplicationDeactivate);
            QApplication::sendEvent(qApp, &deactivate);
            break;
        }
        }
    }
    QTEST(int(helds.count()), "helds");
    QTEST(int(releases.count()), "releases");
    QTEST(key.isHeld(), "heldAtEnd");
}

void tst_PushToTalkKey::recording_data()
{
    QTest::addColumn<int>("pressed");
    QTest::addColumn<int>("keyAfter");
    QTest::addColumn<QString>("nameAfter");

    QTest::newRow("a letter becomes the key") << int(Qt::Key_V) << int(Qt::Key_V) << "V";
    QTest::newRow("a function key") << int(Qt::Key_F9) << int(Qt::Key_F9) << "F9";
    QTest::newRow("Escape keeps the old key") << int(Qt::Key_Escape) << int(Qt::Key_F8) << "F8";
}

void tst_PushToTalkKey::recording()
{
    QFETCH(int, pressed);
    PushToTalkKey key;
    key.setKey(Qt::Key_F8, 0);
    QSignalSpy recorded(&key, &PushToTalkKey::keyRecorded);
    QSignalSpy cancelled(&key, &PushToTalkKey::recordingCancelled);
    QSignalSpy helds(&key, &PushToTalkKey::held);
    m_field.clear();

    key.recordNextKey();
    QVERIFY(key.isRecording());
    QTest::keyClick(&m_field, Qt::Key(pressed));

    QVERIFY(!key.isRecording());
    QTEST(key.key(), "keyAfter");
    QTEST(key.keyName(), "nameAfter");
    QCOMPARE(recorded.count() + cancelled.count(), 1);
    QCOMPARE(helds.count(), 0);
    // The recording press is not typed into the window.
    QCOMPARE(m_field.text(), QString());
    // Afterwards, typing goes on as usual.
    QTest::keyClick(&m_field, Qt::Key_A);
    QCOMPARE(m_field.text(), QStringLiteral("a"));
}

QTEST_MAIN(tst_PushToTalkKey)
#include "tst_PushToTalkKey.moc"
