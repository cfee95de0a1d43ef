// Push-to-talk outside the window: from a key press reaching a private X
// server (XTEST, as a keyboard would) to the held() signal on the GUI thread,
// over 50 presses. The capture starts sending with its next 10 ms frame.

#include "support/VirtualKeyboardDisplay.h"
#include "voice/PushToTalkKey.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    VirtualKeyboardDisplay display;
    if (!display.start())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const uint8_t f8 = display.keyCode(0xffc5);
    PushToTalkKey key;
    key.setKey(Qt::Key_F8, f8);
    if (!key.isGlobal())
        return 1;

    QElapsedTimer clock;
    std::vector<double> milliseconds;
    for (int press = 0; press < 50; ++press) {
        QEventLoop loop;
        QObject::connect(&key, &PushToTalkKey::held, &loop, [&] {
            milliseconds.push_back(clock.nsecsElapsed() / 1e6);
            loop.quit();
        });
        QObject::connect(&key, &PushToTalkKey::released, &loop, &QEventLoop::quit);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        clock.start();
        display.press(f8);
        loop.exec();
        display.release(f8);
        loop.exec();
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    if (milliseconds.empty())
        return 1;
    std::printf("push-to-talk key press -> held(): %zu presses, median %.2f ms, p95 %.2f ms, max %.2f ms\n",
                milliseconds.size(), milliseconds[milliseconds.size() / 2],
                milliseconds[milliseconds.size() * 95 / 100], milliseconds.back());
    return 0;
}
