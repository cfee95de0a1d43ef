#include "support/VirtualKeyboardDisplay.h"
#include "voice/PushToTalkKey.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

// The push-to-talk key outside the window: on a private X server with no
// window of this program shown, keys pressed by another client.
class tst_PushToTalkKeyGrab : public QObject
{
    Q_OBJECT

public:
    explicit tst_PushToTalkKeyGrab(VirtualKeyboardDisplay& display) : m_display(display) {}

private:
    VirtualKeyboardDisplay& m_display;
    const uint8_t m_f8 = m_display.keyCode(0xffc5);
    const uint8_t m_f9 = m_display.keyCode(0xffc6);

private slots:
    void heldWithoutFocusAndExclusive()
    {
        QVERIFY(PushToTalkKey::isGlobalAvailable() && m_f8 && m_f9);
        PushToTalkKey key;
        key.setKey(Qt::Key_F8, m_f8);
        QVERIFY(key.isGlobal());
        QSignalSpy helds(&key, &PushToTalkKey::held);
        QSignalSpy releases(&key, &PushToTalkKey::released);
        m_display.press(m_f9);
        m_display.press(m_f8);
        QVERIFY(helds.wait(2000));
        m_display.release(m_f8);
        m_display.release(m_f9);
        QVERIFY(releases.wait(2000));
        QCOMPARE(helds.count(), 1);
        QCOMPARE(releases.count(), 1);

        // The key is this program's while set, free again afterwards, and not to be had while another program holds it.
        QVERIFY(!m_display.grab(m_f8));
        key.setKey(Qt::Key_F9, m_f9);
        QVERIFY(m_display.grab(m_f8));
        QTest::ignoreMessage(QtWarningMsg, "Tasto push-to-talk non disponibile fuori dalla finestra: \"F8\"");
        key.setKey(Qt::Key_F8, m_f8);
        QVERIFY(!key.isGlobal());
    }
};

int main(int argc, char** argv)
{
    VirtualKeyboardDisplay display;
    if (!display.start())
        qFatal("Xvfb could not be started");
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    tst_PushToTalkKeyGrab test(display);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PushToTalkKeyGrab.moc"
