#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

// The push-to-talk key: held() when it goes down, released() when it comes
// up. It is seen through an event filter on the application while one of its
// windows has focus, and on X11 also without focus, through a passive grab of
// the key on the root window. The key is recorded by pressing it after
// recordNextKey(). Lives on the GUI thread; exists while push-to-talk is the
// voice mode.
class PushToTalkKey : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit PushToTalkKey(QObject* parent = nullptr);
    ~PushToTalkKey() override;

    // Whether the key can be seen while the window has no focus (X11 only;
    // not on Wayland or without a display).
    static bool isGlobalAvailable();

    // The Qt key code and the platform's scan code (the X11 key code), as
    // recorded; both are what the settings remember.
    void setKey(int qtKey, quint32 nativeScanCode);
    int key() const { return m_key; }
    quint32 nativeScanCode() const { return m_scanCode; }
    QString keyName() const;
    // True while the X11 grab of the key is in place.
    bool isGlobal() const { return m_grabbed; }

    // The next key pressed in the application becomes the key (Escape cancels).
    void recordNextKey();
    bool isRecording() const { return m_recording; }
    bool isHeld() const { return m_held; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void keyRecorded();
    void recordingCancelled();
    void held();
    void released();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool recordKey(int qtKey, quint32 nativeScanCode);
    void grabKey();
    void ungrabKey();
    void setHeld(bool down);

    int m_key = 0;
    quint32 m_scanCode = 0;
    bool m_recording = false;
    bool m_held = false;
    bool m_grabbed = false;
    // X11 repeats a held key as release and press pairs: a release counts once
    // no press follows it within this timer.
    QTimer m_releaseDebounce;
};
