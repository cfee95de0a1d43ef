#pragma once

// The client's window in shell tests: its navigation, its page stacks, signing
// in through the login page, and the dev server's side of the real-time channel.

#include "realtime/RealtimeChannel.h"
#include "session/AppSettings.h"
#include "shell/MainWindow.h"
#include "support/DevServer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>

namespace shelltest {

inline void clearSettings() { QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear(); }

inline QPushButton* navButton(QWidget& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>("navButton"))
        if (button->text() == text)
            return button;
    return nullptr;
}

// The object name of the page shown by the stack that holds `pageInStack`.
inline QString shownPage(QWidget& window, const char* pageInStack)
{
    auto* stack = qobject_cast<QStackedWidget*>(window.findChild<QWidget*>(pageInStack)->parentWidget());
    return stack->currentWidget()->objectName();
}
inline QString outerPage(QWidget& window) { return shownPage(window, "loginPage"); }
inline QString innerPage(QWidget& window) { return shownPage(window, "profilePage"); }

inline bool logIn(MainWindow& window, const QString& userName)
{
    window.findChild<QLineEdit*>("loginUsernameField")->setText(userName);
    window.findChild<QLineEdit*>("loginPasswordField")->setText(QStringLiteral("moonlodge"));
    window.findChild<QPushButton*>("loginButton")->click();
    return QTest::qWaitFor([&window] { return outerPage(window) == QLatin1String("homePage"); }, 5000);
}

// Signs in, opens the chat and waits for the real-time channel.
inline bool logInToChat(MainWindow& window, const QString& userName)
{
    if (!logIn(window, userName))
        return false;
    navButton(window, QStringLiteral("Chat"))->click();
    return QTest::qWaitFor([&window] { return window.findChild<RealtimeChannel*>()->isReady(); }, 8000);
}

// The server sends the event to every socket of the member.
inline void pushEvent(DevServer& server, const QString& userName, const QString& event, const QJsonObject& data = {})
{
    QJsonObject body{{QStringLiteral("event"), event}, {QStringLiteral("username"), userName}};
    if (!data.isEmpty())
        body.insert(QStringLiteral("data"), data);
    server.control("POST", QStringLiteral("/__test__/emit"), body);
}

}  // namespace shelltest
