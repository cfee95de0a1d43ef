#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QJsonObject;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class KeyedListModel;
class IdeaCard;
class WindowedRows;
struct ServerReply;

// The ideas board ("ideasPage"): the form to publish an idea, the feed of every
// idea with likes, and the member's own ideas highlighted when the page is opened
// from the profile.
class IdeasPage : public QWidget
{
    Q_OBJECT

public:
    // Shows a modal warning; replaceable so that nothing blocks without a user.
    using WarningHook = std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    explicit IdeasPage(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // The Ideas navigation button's handler: turns the profile intent into the
    // highlight mode, shows the page and reloads the feed.
    void openIdeasPage();
    // Handler of the other navigation buttons: forgets the profile intent and the highlight.
    void clearProfileIntent();
    // Entry from the profile's ideas statistic: the next opening highlights the
    // member's own ideas.
    void setOpenFromProfile(bool open) { m_openFromProfile = open; }
    bool openFromProfile() const { return m_openFromProfile; }
    bool highlightMode() const { return m_highlightMine; }
    // Reloads the feed the way the Ideas button does, keeping the current highlight.
    void reloadIdeas();
    // The anti-forgery token of the last list reply; publish and like send it.
    QString csrfToken() const { return m_csrfToken; }
    void setCsrfToken(const QString& token) { m_csrfToken = token; }

    // The "Publish Idea" button's handler.
    void publishIdea();

    // The online-member panel shown beside the creation card (kept by the page).
    void setOnlinePanel(QWidget* panel);
    // The signed-in member's name. The feed marks own ideas by the server's
    // "can_delete", so the name is only kept for whoever needs it.
    void setOwnUserName(const QString& userName);
    QString ownUserName() const { return m_ownUserName; }
    void setWarningHook(WarningHook hook);

    QScrollArea* scrollArea() const { return m_scrollArea; }
    QWidget* createCard() const { return m_createCard; }
    QPushButton* publishButton() const { return m_publishButton; }
    QLineEdit* titleField() const { return m_titleField; }
    QPlainTextEdit* textField() const { return m_textField; }
    QWidget* feed() const { return m_feed; }
    QLabel* feedMessage() const { return m_feedMessage; }
    KeyedListModel* ideasModel() const { return m_ideas; }
    WindowedRows* cardsView() const { return m_cards; }
    QLabel* countLabel() const { return m_countLabel; }

signals:
    // An idea was published while the page was shown; the feed is reloading.
    void ideaPublished();

private:
    void buildPage();
    QWidget* buildCreateCard(QWidget* parent);
    QWidget* buildFeedHeader(QWidget* parent);

    void renderIdeasReply(const ServerReply& reply);
    void showFeedMessage(const QString& text);
    QWidget* buildIdeaRow(const QJsonObject& idea, QWidget* parent);
    int ideaHeight(const QJsonObject& idea, int width);
    void showIdeaAvatar(QLabel* avatarLabel, const QString& fileName);
    void scrollToOwnItem(const QString& key);
    void toggleIdeaLike(int ideaId, const QString& key, const QString& token, QPointer<QPushButton> likeButton);
    void handlePublishReply(const ServerReply& reply);
    void warn(QWidget* parent, const QString& title, const QString& text);

    QNetworkAccessManager* m_network;
    QScrollArea* m_scrollArea = nullptr;
    QWidget* m_createCard = nullptr;
    QHBoxLayout* m_topRow = nullptr;
    QPointer<QWidget> m_onlinePanel;
    QLineEdit* m_titleField = nullptr;
    QPlainTextEdit* m_textField = nullptr;
    QPushButton* m_publishButton = nullptr;
    QLabel* m_countLabel = nullptr;
    QWidget* m_feed = nullptr;
    QVBoxLayout* m_feedLayout = nullptr;
    QLabel* m_feedMessage = nullptr;
    KeyedListModel* m_ideas = nullptr;
    WindowedRows* m_cards = nullptr;
    QPointer<IdeaCard> m_probe;
    QHash<int, int> m_probeBase;  // card width -> height without the two wrapped texts
    QHash<QString, QPair<bool, int>> m_likes;  // like replies since the last list: liked, count
    QString m_ownUserName;
    WarningHook m_warningHook;
    bool m_openFromProfile = false;  // set by the profile before it clicks the Ideas button
    bool m_highlightMine = false;    // the current feed marks the member's own ideas
    QString m_csrfToken;
};
