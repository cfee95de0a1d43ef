#include "support/VirtualKeyboardDisplay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <unistd.h>

VirtualKeyboardDisplay::~VirtualKeyboardDisplay()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        m_server.waitForFinished(3000);
    }
}

bool VirtualKeyboardDisplay::start()
{
    // A display number nobody else on the machine uses.
    for (int attempt = 0; attempt < 20 && !m_connection; ++attempt) {
        const int number = 300 + (getpid() + attempt * 37) % 600;
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        if (QFile::exists(socket) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        m_name = ":" + QByteArray::number(number);
        m_server.start(QStringLiteral("Xvfb"), {QString::fromLatin1(m_name), QStringLiteral("-screen"),
                                                QStringLiteral("0"), QStringLiteral("640x480x24"),
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(socket) && m_server.state() != QProcess::NotRunning && waited.elapsed() < 5000)
            QThread::msleep(20);
        xcb_connection_t* connection = xcb_connect(m_name.constData(), nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            m_server.kill();
            m_server.waitForFinished(1000);
            continue;
        }
        m_connection = connection;
    }
    if (!m_connection)
        return false;
    qputenv("DISPLAY", m_name);
    return true;
}

uint8_t VirtualKeyboardDisplay::keyCode(uint32_t keySymbol) const
{
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const uint8_t count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr);
    if (!mapping)
        return 0;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping);
    const int perCode = mapping->keysyms_per_keycode;
    uint8_t found = 0;
    for (int i = 0; i < count * perCode && !found; ++i) {
        if (symbols[i] == keySymbol)
            found = uint8_t(setup->min_keycode + i / perCode);
    }
    free(mapping);
    return found;
}

void VirtualKeyboardDisplay::press(uint8_t keyCode)
{
    xcb_test_fake_input(m_connection, XCB_KEY_PRESS, keyCode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(m_connection);
}

void VirtualKeyboardDisplay::release(uint8_t keyCode)
{
    xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, keyCode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(m_connection);
}

bool VirtualKeyboardDisplay::grab(uint8_t keyCode)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        m_connection, xcb_grab_key_checked(m_connection, 1, root, XCB_MOD_MASK_ANY, keyCode, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC));
    const bool granted = error == nullptr;
    free(error);
    return granted;
}
