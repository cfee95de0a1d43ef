// Walks through the client's pages like a member would and saves a picture of
// the window on each: login, home, profile and every navigation page.
// Usage: moonlodge-screenshots OUTPUT_DIR [WIDTH HEIGHT]
// The server comes from MOONLODGE_BASE_URL; it logs in as luna.
#include "shell/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QtDebug>

namespace {

void settle(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

QPushButton* navButton(QWidget& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>(QStringLiteral("navButton")))
        if (button->text() == text)
            return button;
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2) {
        qWarning("usage: moonlodge-screenshots OUTPUT_DIR [WIDTH HEIGHT]");
        return 2;
    }
    const QDir output(arguments.at(1));
    const QSize size = arguments.size() >= 4 ? QSize(arguments.at(2).toInt(), arguments.at(3).toInt()) : QSize(1200, 750);
    const QString suffix = QStringLiteral("-%1x%2.png").arg(size.width()).arg(size.height());

    MainWindow window;
    window.resize(size);
    window.show();
    auto shoot = [&](const QString& name, int wait) {
        settle(wait);
        const QString path = output.filePath(name + suffix);
        window.grab().save(path);
        qInfo().noquote() << path;
    };

    shoot(QStringLiteral("login"), 1200);
    window.findChild<QLineEdit*>(QStringLiteral("loginUsernameField"))->setText(QStringLiteral("luna"));
    window.findChild<QLineEdit*>(QStringLiteral("loginPasswordField"))->setText(QStringLiteral("moonlodge"));
    window.findChild<QPushButton*>(QStringLiteral("loginButton"))->click();
    shoot(QStringLiteral("home"), 1500);

    window.findChild<QPushButton*>(QStringLiteral("profileButton"))->click();
    shoot(QStringLiteral("profile"), 1500);
    for (const QString& page : {QStringLiteral("Chat"), QStringLiteral("Ideas"), QStringLiteral("Games"),
                                QStringLiteral("Members")}) {
        navButton(window, page)->click();
        shoot(page.toLower(), 1500);
    }
    return 0;
}
