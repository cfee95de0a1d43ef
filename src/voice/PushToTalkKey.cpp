#include "voice/PushToTalkKey.h"

#include "app/LogCategories.h"

#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>

#ifndef Q_OS_WIN
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace {

constexpr int ReleaseDebounceMs = 40;

#ifndef Q_OS_WIN
xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}
#endif

} // namespace

PushToTalkKey::PushToTalkKey(QObject* parent)
    : QObject(parent)
{
    m_releaseDebounce.setSingleShot(true);
    m_releaseDebounce.setInterval(ReleaseDebounceMs);
    connect(&m_releaseDebounce, &QTimer::timeout, this, [this] { setHeld(false); });
    qApp->installEventFilter(this);
    if (isGlobalAvailable())
        qApp->installNativeEventFilter(this);
}

PushToTalkKey::~PushToTalkKey()
{
    ungrabKey();
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool PushToTalkKey::isGlobalAvailable()
{
#ifndef Q_OS_WIN
    return x11Connection() != nullptr;
#else
    return false;
#endif
}

void PushToTalkKey::setKey(int qtKey, quint32 nativeScanCode)
{
    ungrabKey();
    setHeld(false);
    m_key = qtKey;
    m_scanCode = nativeScanCode;
    grabKey();
}

QString PushToTalkKey::keyName() const
{
    return m_key ? QKeySequence(m_key).toString(QKeySequence::NativeText) : QString();
}

void PushToTalkKey::recordNextKey()
{
    m_recording = true;
}

bool PushToTalkKey::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While recording, a key that is also a shortcut must still arrive.
        if (m_recording) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_recording)
            return recordKey(key->key(), key->nativeScanCode());
        if (m_key && key->key() == m_key && !key->isAutoRepeat())
            setHeld(true);
        break;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_key && key->key() == m_key && !key->isAutoRepeat())
            setHeld(false);
        break;
    }
    case QEvent::ApplicationDeactivate:
        // Without the grab the release would go to another program.
        if (!m_grabbed)
            setHeld(false);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool PushToTalkKey::recordKey(int qtKey, quint32 nativeScanCode)
{
    m_recording = false;
    if (qtKey == Qt::Key_Escape) {
        emit recordingCancelled();
    } else {
        setKey(qtKey, nativeScanCode);
        emit keyRecorded();
    }
    return true;
}

bool PushToTalkKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifndef Q_OS_WIN
    if (!m_grabbed || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Only what the grab delivers to the root window: the application's own
    // windows get their key events through Qt and the event filter.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->detail != m_scanCode || key->event != key->root)
        return false;
    if (type == XCB_KEY_PRESS)
        setHeld(true);
    else
        m_releaseDebounce.start();
    return true;
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
    return false;
#endif
}

void PushToTalkKey::grabKey()
{
#ifndef Q_OS_WIN
    xcb_connection_t* connection = x11Connection();
    if (!connection || m_scanCode == 0 || m_scanCode > 255)
        return;
    const xcb_void_cookie_t cookie
        = xcb_grab_key_checked(connection, 1, rootWindow(connection), XCB_MOD_MASK_ANY, xcb_keycode_t(m_scanCode),
                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
        // Another program holds this key.
        qCWarning(lcVoice) << "Tasto push-to-talk non disponibile fuori dalla finestra:" << keyName();
        free(error);
        return;
    }
    m_grabbed = true;
#endif
}

void PushToTalkKey::ungrabKey()
{
#ifndef Q_OS_WIN
    xcb_connection_t* connection = m_grabbed ? x11Connection() : nullptr;
    if (connection) {
        xcb_ungrab_key(connection, xcb_keycode_t(m_scanCode), rootWindow(connection), XCB_MOD_MASK_ANY);
        xcb_flush(connection);
    }
#endif
    m_grabbed = false;
}

void PushToTalkKey::setHeld(bool down)
{
    if (down)
        m_releaseDebounce.stop();
    if (m_held == down)
        return;
    m_held = down;
    if (down)
        emit held();
    else
        emit released();
}
