#include "pages/PagesTestSupport.h"
#include "pages/profile/AvatarChoiceButton.h"

#include "pages/profile/AvatarSelectionPage.h"
#include "pages/profile/ProfileEditDialog.h"
#include "pages/profile/ProfilePage.h"
#include "support/DevServerSuite.h"
#include "support/MessageBoxCatcher.h"
#include "widgets/avatar/CircularProfileAvatar.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

using namespace PagesTest;

const QString kProfilePath = QStringLiteral("/api/desktop/profile");

class TestProfileEditing : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        m_host = std::make_unique<PageStack>(m_server, QStringLiteral("luna"), QSize(400, 300));
        m_boxes = std::make_unique<MessageBoxCatcher>();
    }

    void cleanup()
    {
        m_boxes.reset();
        m_host.reset();
    }

    // Press and release rules of the shared click filter are checked on the member cards.
    void statisticsCardsOpenTheirPages()
    {
        ProfilePage page(m_host->network.get());
        QSignalSpy messages(&page, &ProfilePage::openOwnMessagesRequested);
        QSignalSpy ideas(&page, &ProfilePage::openOwnIdeasRequested);
        QSignalSpy scores(&page, &ProfilePage::openOwnScoreRequested);
        for (QFrame* card : page.statisticsCards())
            QTest::mouseClick(card, Qt::LeftButton, {}, card->rect().center());
        QCOMPARE(QList<int>({int(messages.count()), int(ideas.count()), int(scores.count())}), QList<int>({1, 1, 1}));
    }

    void offlineStatusShowsOnlineAndASpaceOnlyDescriptionIsSentUnchanged()
    {
        const QJsonObject user{{"username", "luna"}, {"status", "Offline"}, {"description", "<b>hi</b>"},
                               {"profile_image", "cat.png"}};
        const auto loaded = loadedDialog(user);
        QVERIFY(loaded);
        ProfileEditDialog& dialog = *loaded;
        QSignalSpy saved(&dialog, &ProfileEditDialog::profileSaved);
        QCOMPARE(dialog.statusSelect()->currentText(), QStringLiteral("🟢 Online"));
        QCOMPARE(dialog.descriptionEdit()->toPlainText(), QStringLiteral("<b>hi</b>"));
        QVERIFY(!dialog.avatarPreview()->pixmap().isNull());

        dialog.descriptionEdit()->setPlainText(QStringLiteral("   "));
        dialog.saveButton()->click();
        QTRY_COMPARE(saved.count(), 1);
        QVERIFY(dialog.isHidden());
        const QJsonObject post = m_server.lastRequest(kProfilePath);
        QCOMPARE(post.value("body").toString(), QStringLiteral(R"({"description":"   ","status":"Online"})"));
        QCOMPARE(header(post, "X-CSRFToken"), m_host->token);
        QCOMPARE(header(post, "Referer"), m_server.url().toString() + QStringLiteral("/"));
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void closingBeforeTheReplyDiscardsItSilently()
    {
        cannedReply(m_server, kProfilePath, {{"success", true}, {"user", QJsonObject{{"description", "late"}}}}, 200,
                    QStringLiteral("GET"));
        m_server.failNext(kProfilePath, {{"mode", "delay"}, {"delay_ms", 300}});
        auto dialog = std::make_unique<ProfileEditDialog>(m_host->network.get());
        QSignalSpy finished(m_host->network.get(), &QNetworkAccessManager::finished);
        dialog->show();
        dialog->loadProfile();
        dialog->cancelButton()->click();
        QTRY_COMPARE(finished.count(), 1);
        QTest::qWait(50);
        QCOMPARE(dialog->descriptionEdit()->toPlainText(), QString());

        dialog->loadProfile();  // a dialog already destroyed is not touched either
        dialog.reset();
        QTRY_COMPARE(finished.count(), 2);
        QTest::qWait(50);
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void loadAndSaveFailuresWarnAndKeepTheDialog()
    {
        ProfileEditDialog failing(m_host->network.get());
        failing.show();
        m_server.failNext(kProfilePath, {{"status", 500}, {"method", "GET"}});
        failing.loadProfile();
        QTRY_COMPARE(m_boxes->shown(), QStringList{"Edit Profile: Injected failure"});
        cannedReply(m_server, kProfilePath, {{"success", true}, {"user", QJsonObject{{"status", "Busy"}}}}, 200,
                    QStringLiteral("GET"));
        failing.loadProfile();
        QTRY_COMPARE(m_boxes->shown().value(1),
                     QStringLiteral("Edit Profile: Missing security token. Check that the server update is online."));
        QVERIFY(!failing.saveButton()->isEnabled());

        const auto loaded = loadedDialog({});
        QVERIFY(loaded);
        ProfileEditDialog& dialog = *loaded;
        dialog.descriptionEdit()->setPlainText(QStringLiteral("My words"));
        cannedReply(m_server, kProfilePath, {{"success", false}, {"error", "Description too long."}}, 400,
                    QStringLiteral("POST"));
        dialog.saveButton()->click();
        QTRY_COMPARE(m_boxes->shown().value(2), QStringLiteral("Edit Profile: Description too long."));
        m_server.failNext(kProfilePath, {{"status", 503}, {"body", "down"}, {"content_type", "text/plain"}});
        QTRY_VERIFY(dialog.saveButton()->isEnabled());
        dialog.saveButton()->click();
        QTRY_COMPARE(m_boxes->shown().value(3), QStringLiteral("Edit Profile: Unable to save profile."));
        QTRY_VERIFY(dialog.saveButton()->isEnabled());
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.descriptionEdit()->toPlainText(), QStringLiteral("My words"));
    }

    void editButtonRunsTheDialogAndASaveReloadsTheProfile()
    {
        ProfilePage page(m_host->network.get());
        page.show();
        bool scripted = false;
        QTimer::singleShot(0, &page, [&] {
            auto* dialog = page.findChild<ProfileEditDialog*>();
            auto finish = qScopeGuard([&] {
                if (dialog && dialog->isVisible())
                    dialog->reject();
            });
            QVERIFY(dialog && dialog->isModal());
            QTRY_VERIFY(dialog->saveButton()->isEnabled());
            dialog->descriptionEdit()->setPlainText(QStringLiteral("Fresh words"));
            dialog->saveButton()->click();
            QTRY_VERIFY(dialog->isClosed());
            scripted = true;
        });
        page.editProfileButton()->click();  // runs the dialog until it closes
        QVERIFY(scripted);
        // The card lives in a graphics scene.
        auto* description = page.avatar()->parentWidget()->findChild<QLabel*>(QStringLiteral("profileDescriptionLabel"));
        QVERIFY(description);
        QTRY_COMPARE(description->text(), QStringLiteral("Fresh words"));

        // "Change avatar" closes the dialog and asks for the avatar page.
        QSignalSpy avatarPage(&page, &ProfilePage::avatarSelectionRequested);
        QTimer::singleShot(0, &page, [&] { page.findChild<ProfileEditDialog*>()->changeAvatarButton()->click(); });
        page.editProfileButton()->click();
        QCOMPARE(avatarPage.count(), 1);
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void aChosenAvatarIsShownWithoutBeingSaved()
    {
        AvatarSelectionPage page;
        QSignalSpy chosen(&page, &AvatarSelectionPage::avatarChosen);
        page.chooseAvatar(QStringLiteral("comet.png"));  // not built in: nothing happens
        page.findChildren<AvatarChoiceButton*>(QStringLiteral("avatarChoice")).at(3)->click();
        QCOMPARE(chosen.count(), 1);
        const QPixmap fox = chosen.at(0).at(1).value<QPixmap>();
        QCOMPARE(fox.toImage(), QPixmap(QStringLiteral(":/avatar/fox.png")).toImage());

        ProfilePage profile(m_host->network.get());
        profile.showChosenAvatar(fox);
        QVERIFY(!profile.avatar()->pixmap().isNull());
        QCOMPARE(m_server.requestCount(kProfilePath, QStringLiteral("POST")), 0);
    }

private:
    // An edit dialog, shown and loaded from a reply with this user (the real profile for none).
    std::unique_ptr<ProfileEditDialog> loadedDialog(const QJsonObject& user)
    {
        if (!user.isEmpty())
            cannedReply(m_server, kProfilePath, {{"success", true}, {"user", user}, {"csrf_token", m_host->token}}, 200,
                        QStringLiteral("GET"));
        auto dialog = std::make_unique<ProfileEditDialog>(m_host->network.get());
        dialog->show();
        dialog->loadProfile();
        if (!QTest::qWaitFor([&] { return dialog->saveButton()->isEnabled(); }))
            dialog.reset();
        return dialog;
    }

    std::unique_ptr<PageStack> m_host;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
};

QTEST_MAIN(TestProfileEditing)
#include "tst_ProfileEditing.moc"
