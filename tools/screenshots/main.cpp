// Walks through the client's pages like a member would and saves a picture of
// the window on each: login, home, profile, the edit dialog, the avatar page,
// every navigation page (chat, ideas and games also with the member's own items
// highlighted, games also scrolled to the leaderboard), a public profile, the
// voice toolbar's audio settings panel (also in push-to-talk mode), chat panel
// rows of members in voice with their link quality and a volume pop-up, and the
// bell with notifications off.
// Usage: moonlodge-screenshots OUTPUT_DIR [WIDTH HEIGHT]
// The server comes from MOONLODGE_BASE_URL; it logs in as luna.
#include "pages/profile/ProfilePage.h"
#include "shell/MainWindow.h"
#include "voice/VoiceMemberControls.h"
#include "voice/VoiceMemberMuteButton.h"
#include "voice/VoiceMemberRowControl.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QPushButton>
#include <QStackedWidget>
#include <QtDebug>

namespace {

// Runs the event loop for a while, as the application would between frames
// (a nested loop also carries out deferred deletions).
void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

QPushButton* navButton(QWidget& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>(QStringLiteral("navButton")))
        if (button->text() == text)
            return button;
    return nullptr;
}

// A left click as the pointer would make it: press and release in the middle.
void clickWidget(QWidget* widget)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

// A row as the chat panel draws a member in voice: avatar, name, status and
// the voice control.
QWidget* voiceRow(VoiceMemberControls& controls, const QString& userName, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(11);
    auto* avatar = new QLabel(QStringLiteral("👤"), row);
    avatar->setFixedSize(54, 54);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setStyleSheet(QStringLiteral("color: #ddd6fe; font-size: 18px;"));
    auto* name = new QLabel(userName, row);
    name->setStyleSheet(QStringLiteral("color: #c4b5fd; font-size: 12px; font-weight: 800;"));
    auto* status = new QHBoxLayout;
    status->setSpacing(5);
    auto* dot = new QFrame(row);
    dot->setFixedSize(7, 7);
    dot->setStyleSheet(QStringLiteral("background-color: #22c55e; border-radius: 3px;"));
    auto* text = new QLabel(QStringLiteral("Online"), row);
    text->setStyleSheet(QStringLiteral("color: #968da5; font-size: 10px;"));
    status->addWidget(dot, 0, Qt::AlignVCenter);
    status->addWidget(text);
    status->addWidget(controls.chatPanelControl(userName, row));
    status->addStretch(1);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(name);
    column->addLayout(status);
    layout->addWidget(avatar);
    layout->addLayout(column, 1);
    return row;
}

// Chat panel rows of members in voice (the demo server has no one in voice),
// each with a link quality, and the first one's volume pop-up open: pictured
// from the screen, since the pop-up is a window of its own.
void shootVoiceRows(MainWindow& window, const QString& path)
{
    auto* panel = window.findChild<QFrame*>(QStringLiteral("onlineMembersPanel"));
    auto* controls = window.findChild<VoiceMemberControls*>();
    if (!panel || !controls)
        return;
    QFrame sample;
    sample.setObjectName(QStringLiteral("onlineMembersPanel"));
    sample.setStyleSheet(panel->styleSheet() + QStringLiteral("QFrame#onlineMembersPanel { border-radius: 0px; }"));
    sample.setAutoFillBackground(true);
    QPalette palette = sample.palette();
    palette.setColor(QPalette::Window, QColor(QStringLiteral("#120d1d")));
    sample.setPalette(palette);
    sample.setFixedWidth(panel->width());
    auto* layout = new QVBoxLayout(&sample);
    layout->setContentsMargins(16, 16, 16, 70);
    const QList<QPair<QString, int>> members = {{QStringLiteral("orion"), 4}, {QStringLiteral("mira"), 2},
                                                {QStringLiteral("kai"), 0}};
    for (const auto& [name, bars] : members) {
        layout->addWidget(voiceRow(*controls, name, &sample));
        controls->setLinkQuality(name, bars,
                                 bars ? QStringLiteral("Round trip 38 ms · loss 0.5 % · jitter 4 ms")
                                      : QStringLiteral("Connection problem: no packets for 1.6 s"));
    }
    sample.move(40, 40);
    sample.show();
    settle(300);
    if (auto* button = sample.findChild<VoiceMemberMuteButton*>())
        emit button->customContextMenuRequested(QPoint(4, 4));
    settle(300);
    const QRect area = sample.frameGeometry().adjusted(0, 0, 120, 0);
    QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
    qInfo().noquote() << path;
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
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

    // The edit dialog is modal: picture and close it from inside its own loop.
    auto* profile = window.findChild<ProfilePage*>(QStringLiteral("profilePage"));
    QTimer::singleShot(1200, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            const QString path = output.filePath(QStringLiteral("edit-dialog") + suffix);
            dialog->grab().save(path);
            qInfo().noquote() << path;
            dialog->close();
        }
    });
    profile->editProfileButton()->click();

    emit profile->avatarSelectionRequested();
    shoot(QStringLiteral("avatar"), 800);
    window.findChild<QPushButton*>(QStringLiteral("profileButton"))->click();
    settle(1000);

    for (const QString& page : {QStringLiteral("Chat"), QStringLiteral("Ideas"), QStringLiteral("Games"),
                                QStringLiteral("Members")}) {
        navButton(window, page)->click();
        shoot(page.toLower(), 1500);
    }

    // A public profile, opened from the first member card.
    const QList<QWidget*> cards = window.findChildren<QWidget*>(QStringLiteral("membersUserCard"));
    for (QWidget* card : cards) {
        if (card->isVisible()) {
            clickWidget(card);
            break;
        }
    }
    shoot(QStringLiteral("public-profile"), 1500);

    // The statistics cards open chat, ideas and games with the own items highlighted.
    window.findChild<QPushButton*>(QStringLiteral("profileButton"))->click();
    settle(1000);
    emit profile->openOwnMessagesRequested();
    shoot(QStringLiteral("chat-highlight"), 1500);
    if (auto* settings = window.findChild<QPushButton*>(QStringLiteral("voiceSettingsButton"))) {
        settings->click();
        shoot(QStringLiteral("voice-panel"), 800);
        if (auto* pushToTalk = window.findChild<QPushButton*>(QStringLiteral("voicePushToTalkMode"))) {
            pushToTalk->click();
            shoot(QStringLiteral("voice-panel-push-to-talk"), 500);
            window.findChild<QPushButton*>(QStringLiteral("voiceActivityMode"))->click();
        }
        if (auto* close = window.findChild<QPushButton*>(QStringLiteral("voiceSettingsCloseButton")))
            close->click();
    }
    shootVoiceRows(window, output.filePath(QStringLiteral("voice-rows") + suffix));
    window.findChild<QPushButton*>(QStringLiteral("profileButton"))->click();
    settle(1000);
    emit profile->openOwnIdeasRequested();
    shoot(QStringLiteral("ideas-highlight"), 1500);
    window.findChild<QPushButton*>(QStringLiteral("profileButton"))->click();
    settle(1000);
    emit profile->openOwnScoreRequested();
    shoot(QStringLiteral("games-highlight"), 1500);
    if (auto* games = window.findChild<QScrollArea*>(QStringLiteral("gamesScrollArea"))) {
        games->verticalScrollBar()->setValue(games->verticalScrollBar()->maximum());
        shoot(QStringLiteral("games-leaderboard"), 500);
    }
    // The navigation bar's bell with desktop notifications turned off.
    if (auto* bell = window.findChild<QPushButton*>(QStringLiteral("navbarNotificationsButton"))) {
        bell->click();
        shoot(QStringLiteral("notifications-off"), 500);
    }
    return 0;
}
