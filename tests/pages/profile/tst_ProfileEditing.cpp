#include "pages/PagesTestSupport.h"
#include "pages/profile/AvatarChoiceButton.h"

#include "pages/profile/AvatarSelectionPage.h"
#include "pages/profile/ProfileEditDialog.h"
#include "pages/profile/ProfilePage.h"
#include "support/MessageBoxCatcher.h"
#include "widgets/avatar/CircularProfileAvatar.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

using namespace PagesTest;

namespace {

const QString kProfilePath = QStringLiteral("/api/desktop/profile");

QJsonObject profileReply(const QJsonObject& user, const QString& token)
{
    QJsonObject reply{{"success", true}, {"user", user}};
    if (!token.isNull())
        reply.insert("csrf_token", token);
    return reply;
}

}  // namespace

class TestProfileEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        QVERIFY(m_server.reset());
        m_network = std::make_unique<QNetworkAccessManager>();
        m_token = logIn(m_server, *m_network, QStringLiteral("luna"));
        m_server.clearRequests();
        m_boxes = std::make_unique<MessageBoxCatcher>();
    }

    void cleanup()
    {
        m_boxes.reset();
        m_network.reset();
    }

    void statisticsCardsOpenTheirPageOnlyOnAReleaseInside()
    {
        ProfilePage page(m_network.get());
        QSignalSpy messages(&page, &ProfilePage::openOwnMessagesRequested);
        QSignalSpy ideas(&page, &ProfilePage::openOwnIdeasRequested);
        QSignalSpy scores(&page, &ProfilePage::openOwnScoreRequested);
        const QList<QFrame*> cards = page.statisticsCards();
        QCOMPARE(cards.size(), 3);
        QFrame* ideasCard = cards.at(1);
        const QPoint inside(ideasCard->width() / 2, ideasCard->height() / 2);

        // Press on IDEAS, release outside it: nothing; a lone release: nothing.
        QTest::mousePress(ideasCard, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(ideasCard, Qt::LeftButton, {}, QPoint(ideasCard->width() + 4, inside.y()));
        QTest::mouseRelease(ideasCard, Qt::LeftButton, {}, inside);
        QTest::mouseClick(ideasCard, Qt::RightButton, {}, inside);
        QCOMPARE(messages.count() + ideas.count() + scores.count(), 0);

        QTest::mouseClick(cards.at(0), Qt::LeftButton, {}, inside);
        QTest::mouseClick(ideasCard, Qt::LeftButton, {}, inside);
        QTest::mouseClick(cards.at(2), Qt::LeftButton, {}, inside);
        QCOMPARE(messages.count(), 1);
        QCOMPARE(ideas.count(), 1);
        QCOMPARE(scores.count(), 1);

        // Every label lets the click through to its card.
        for (QLabel* label : ideasCard->findChildren<QLabel*>())
            QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));

        // The round avatar asks for the avatar page only from its central square.
        QSignalSpy avatarPage(&page, &ProfilePage::avatarSelectionRequested);
        QTest::mouseClick(page.avatar(), Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(avatarPage.count(), 0);
        QTest::mouseClick(page.avatar(), Qt::LeftButton, {}, QPoint(97, 97));
        QCOMPARE(avatarPage.count(), 1);
    }

    void offlineStatusKeepsOnlineAndSpaceOnlyDescriptionIsSentUnchanged()
    {
        const QJsonObject user{{"username", "luna"},
                               {"status", "Offline"},
                               {"description", "<b>hi</b>"},
                               {"profile_image", "cat.png"}};
        cannedReply(m_server, kProfilePath, profileReply(user, m_token), 200, QStringLiteral("GET"));
        ProfileEditDialog dialog(m_network.get());
        QSignalSpy saved(&dialog, &ProfileEditDialog::profileSaved);
        dialog.show();
        QVERIFY(!dialog.saveButton()->isEnabled());
        dialog.loadProfile();
        QTRY_VERIFY(dialog.saveButton()->isEnabled());

        QCOMPARE(dialog.statusSelect()->currentIndex(), 0);
        QCOMPARE(dialog.statusSelect()->currentText(), QStringLiteral("🟢 Online"));
        QCOMPARE(dialog.descriptionEdit()->toPlainText(), QStringLiteral("<b>hi</b>"));
        QVERIFY(!dialog.avatarPreview()->pixmap().isNull());
        QCOMPARE(dialog.avatarPreview()->text(), QString());
        QCOMPARE(header(requestsFor(m_server, kProfilePath).at(0).toObject(), "Accept"),
                 QStringLiteral("application/json"));

        dialog.descriptionEdit()->setPlainText(QStringLiteral("   "));
        dialog.saveButton()->click();
        QVERIFY(!dialog.saveButton()->isEnabled());
        QTRY_COMPARE(saved.count(), 1);
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const QJsonObject post = requestsFor(m_server, kProfilePath, QStringLiteral("POST")).at(0).toObject();
        QCOMPARE(post.value("body").toString(), QStringLiteral(R"({"description":"   ","status":"Online"})"));
        QCOMPARE(header(post, "X-CSRFToken"), m_token);
        QCOMPARE(header(post, "Referer"), m_server.url().toString() + QStringLiteral("/"));
        QCOMPARE(header(post, "Content-Type"), QStringLiteral("application/json"));
        QVERIFY(shown().isEmpty());

        // Another status is matched ignoring letter case.
        cannedReply(m_server, kProfilePath, profileReply({{"status", "gAmInG"}}, m_token), 200, QStringLiteral("GET"));
        ProfileEditDialog second(m_network.get());
        second.show();
        second.loadProfile();
        QTRY_VERIFY(second.saveButton()->isEnabled());
        QCOMPARE(second.statusSelect()->currentData().toString(), QStringLiteral("Gaming"));
        QCOMPARE(second.avatarPreview()->text(), QStringLiteral("👤"));
    }

    void closingBeforeTheReplyDiscardsItSilently()
    {
        cannedReply(m_server, kProfilePath, profileReply({{"description", "late"}}, QString()), 200,
                    QStringLiteral("GET"));
        m_server.failNext(kProfilePath, {{"mode", "delay"}, {"delay_ms", 300}});
        auto dialog = std::make_unique<ProfileEditDialog>(m_network.get());
        QSignalSpy finished(m_network.get(), &QNetworkAccessManager::finished);
        dialog->show();
        dialog->loadProfile();
        dialog->cancelButton()->click();
        QVERIFY(dialog->isClosed());
        QTRY_COMPARE(finished.count(), 1);
        QTest::qWait(50);
        QCOMPARE(dialog->descriptionEdit()->toPlainText(), QString());
        QVERIFY(!dialog->saveButton()->isEnabled());

        // A dialog already destroyed is not touched either.
        ProfileEditDialog* raw = dialog.release();
        raw->loadProfile();
        delete raw;
        QTRY_COMPARE(finished.count(), 2);
        QTest::qWait(50);
        QVERIFY(shown().isEmpty());
        dialog.reset();
    }

    void loadAndSaveFailuresWarnAndKeepTheDialog()
    {
        ProfileEditDialog failing(m_network.get());
        failing.show();
        m_server.failNext(kProfilePath, {{"status", 500}, {"method", "GET"}});
        failing.loadProfile();
        QTRY_COMPARE(shown(), QStringList{"Edit Profile: Injected failure"});
        QVERIFY(!failing.saveButton()->isEnabled());

        cannedReply(m_server, kProfilePath, profileReply({{"status", "Busy"}}, QString()), 200, QStringLiteral("GET"));
        failing.loadProfile();
        QTRY_COMPARE(shown().size(), 2);
        QCOMPARE(shown().at(1),
                 QStringLiteral("Edit Profile: Missing security token. Check that the server update is online."));
        QVERIFY(!failing.saveButton()->isEnabled());
        failing.saveProfile();  // no token: nothing is sent
        QTest::qWait(50);
        QCOMPARE(requestsFor(m_server, kProfilePath, QStringLiteral("POST")).size(), 0);

        ProfileEditDialog dialog(m_network.get());
        QSignalSpy saved(&dialog, &ProfileEditDialog::profileSaved);
        dialog.show();
        dialog.loadProfile();
        QTRY_VERIFY(dialog.saveButton()->isEnabled());
        dialog.descriptionEdit()->setPlainText(QStringLiteral("My words"));
        cannedReply(m_server, kProfilePath, {{"success", false}, {"error", "Description too long."}}, 400,
                    QStringLiteral("POST"));
        dialog.saveButton()->click();
        QTRY_COMPARE(shown().size(), 3);
        QCOMPARE(shown().at(2), QStringLiteral("Edit Profile: Description too long."));
        QTRY_VERIFY(dialog.saveButton()->isEnabled());
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.descriptionEdit()->toPlainText(), QStringLiteral("My words"));

        m_server.failNext(kProfilePath, {{"status", 503}, {"body", "down"}, {"content_type", "text/plain"}});
        dialog.saveButton()->click();
        QTRY_COMPARE(shown().size(), 4);
        QCOMPARE(shown().at(3), QStringLiteral("Edit Profile: Unable to save profile."));
        QTRY_VERIFY(dialog.saveButton()->isEnabled());
        QCOMPARE(saved.count(), 0);

        // A wrong token is refused by the server itself.
        ProfileEditDialog forged(m_network.get());
        cannedReply(m_server, kProfilePath, profileReply({{"status", "Away"}}, QStringLiteral("forged")), 200,
                    QStringLiteral("GET"));
        forged.show();
        forged.loadProfile();
        QTRY_VERIFY(forged.saveButton()->isEnabled());
        forged.saveButton()->click();
        QTRY_COMPARE(shown().size(), 5);
        QVERIFY(forged.isVisible());
    }

    void editButtonRunsTheDialogAndASaveReloadsTheProfile()
    {
        ProfilePage page(m_network.get());
        page.show();
        bool scripted = false;
        QTimer::singleShot(0, &page, [&] {
            auto* dialog = page.findChild<ProfileEditDialog*>();
            auto finish = qScopeGuard([&] {
                if (dialog && dialog->isVisible())
                    dialog->reject();
            });
            QVERIFY(dialog && dialog->isModal() && dialog->isVisible());
            QTRY_VERIFY(dialog->saveButton()->isEnabled());
            dialog->descriptionEdit()->setPlainText(QStringLiteral("Fresh words"));
            dialog->saveButton()->click();
            QTRY_VERIFY(dialog->isClosed());
            scripted = true;
        });
        page.editProfileButton()->click();  // runs the dialog until it closes
        QVERIFY(scripted);
        QVERIFY(!page.findChild<ProfileEditDialog*>());

        auto* description = page.findChild<QLabel*>(QStringLiteral("profileDescriptionLabel"));
        if (!description)  // the card lives in a graphics scene
            description = page.avatar()->parentWidget()->findChild<QLabel*>(QStringLiteral("profileDescriptionLabel"));
        QVERIFY(description);
        QTRY_COMPARE(description->text(), QStringLiteral("Fresh words"));
        QCOMPARE(requestsFor(m_server, kProfilePath).size(), 2);  // the dialog's load and the reload

        // "Change avatar" closes the dialog and asks for the avatar page.
        QSignalSpy avatarPage(&page, &ProfilePage::avatarSelectionRequested);
        QTimer::singleShot(0, &page, [&] {
            if (auto* dialog = page.findChild<ProfileEditDialog*>())
                dialog->changeAvatarButton()->click();
        });
        page.editProfileButton()->click();
        QCOMPARE(avatarPage.count(), 1);
        QVERIFY(shown().isEmpty());
    }

    void avatarChoicesShowBuiltInPictures()
    {
        AvatarSelectionPage page;
        QSignalSpy chosen(&page, &AvatarSelectionPage::avatarChosen);
        QSignalSpy back(&page, &AvatarSelectionPage::returnToProfileRequested);
        const QList<AvatarChoiceButton*> choices = page.findChildren<AvatarChoiceButton*>(QStringLiteral("avatarChoice"));
        QStringList names;
        for (AvatarChoiceButton* choice : choices) {
            names << choice->fileName();
            QVERIFY(!choice->icon().isNull());
        }
        QCOMPARE(names, (QStringList{"cat.png", "frog.png", "ghost.png", "fox.png", "panda.png", "sakura.png",
                                     "bunny.png"}));

        choices.at(3)->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("fox.png"));
        const QPixmap fox = chosen.at(0).at(1).value<QPixmap>();
        QCOMPARE(fox.toImage(), QPixmap(QStringLiteral(":/avatar/fox.png")).toImage());

        page.chooseAvatar(QStringLiteral("comet.png"));  // not built in: nothing happens
        QCOMPARE(chosen.count(), 1);
        page.returnButton()->click();
        QCOMPARE(back.count(), 1);

        ProfilePage profile(m_network.get());
        QVERIFY(profile.avatar()->pixmap().isNull());
        profile.showChosenAvatar(fox);
        QVERIFY(!profile.avatar()->pixmap().isNull());
        QCOMPARE(requestsFor(m_server, kProfilePath, QStringLiteral("POST")).size(), 0);
    }

private:
    // Every box shown so far, as "title: text".
    QStringList shown() const
    {
        QStringList texts;
        for (const MessageBoxCatcher::Box& box : m_boxes->boxes())
            texts << box.title + QStringLiteral(": ") + box.text;
        return texts;
    }

    DevServer m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
    QString m_token;
};

QTEST_MAIN(TestProfileEditing)
#include "tst_ProfileEditing.moc"
