#pragma once

#include <QByteArray>
#include <QProcess>

#include <cstdint>

struct xcb_connection_t;

// A private X server (Xvfb) and a second client on it that presses keys
// through the XTEST extension, as a real keyboard would, and can hold key
// grabs of its own.
class VirtualKeyboardDisplay
{
public:
    VirtualKeyboardDisplay() = default;
    ~VirtualKeyboardDisplay();
    VirtualKeyboardDisplay(const VirtualKeyboardDisplay&) = delete;
    VirtualKeyboardDisplay& operator=(const VirtualKeyboardDisplay&) = delete;

    // Starts the server and connects; sets DISPLAY for the Qt application.
    bool start();

    // The key code the server's keymap gives a key symbol (0 if none).
    uint8_t keyCode(uint32_t keySymbol) const;
    void press(uint8_t keyCode);
    void release(uint8_t keyCode);
    // A passive grab by this other client; false when someone holds it already.
    bool grab(uint8_t keyCode);

private:
    QProcess m_server;
    QByteArray m_name;
    xcb_connection_t* m_connection = nullptr;
};
