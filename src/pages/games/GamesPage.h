#pragma once

#include <QByteArray>
#include <QPointer>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QJsonObject;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class QScrollArea;
class QTimer;
class QUrl;
class QVBoxLayout;
class KeyedListModel;
class GameCardImage;
class ReloadCoalescer;
class WindowedRows;
struct ServerReply;

// The games page ("gamesPage"): the Nebulite game card with its download button
// and the game's leaderboard, with the member's own row highlighted and scrolled
// to when the page is opened from the profile.
class GamesPage : public QWidget
{
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QUrl& url)>;

    static constexpr int kRefreshIntervalMs = 15000;

    // Builds the page and asks for the game image at once.
    explicit GamesPage(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // The Games navigation button's handler: turns the profile intent into the
    // highlight and focus flags, loads the leaderboard unless a load is running,
    // and shows the page.
    void openGamesPage();
    // Handler of the other navigation buttons: forgets the intent, highlight and focus.
    void clearProfileIntent();
    // Entry from the profile's score statistic: the next opening highlights and
    // scrolls to the member's own row.
    void setOpenFromProfile(bool open) { m_openFromProfile = open; }
    bool openFromProfile() const { return m_openFromProfile; }
    bool highlightMode() const { return m_highlightMine; }

    // Loads the leaderboard; while a request is outstanding, any number of calls
    // lead to one more load after it. The real-time "nebulite_leaderboard_changed"
    // handler calls this.
    void reloadLeaderboard();
    bool leaderboardInFlight() const;
    // One tick of the 15-second refresh: loads only while the page is visible.
    void refreshTick();
    QTimer* refreshTimer() const { return m_refreshTimer; }

    // The online-member panel of the right column (kept by the page).
    void setOnlinePanel(QWidget* panel);
    // How "PLAY NEBULITE" opens the download page; the system browser by default.
    void setUrlOpener(UrlOpener opener);

    QScrollArea* scrollArea() const { return m_scrollArea; }
    QWidget* gameCard() const { return m_gameCard; }
    GameCardImage* gameImage() const { return m_image; }
    QPushButton* playButton() const { return m_playButton; }
    QWidget* dividerSlot() const { return m_divider; }
    WindowedRows* leaderboardRows() const { return m_rowsContainer; }
    KeyedListModel* leaderboardModel() const { return m_scores; }
    QLabel* statusLabel() const { return m_statusLabel; }

private:
    void buildPage();
    QWidget* buildGameCard(QWidget* parent);
    QWidget* buildLeaderboard(QWidget* parent);
    void loadGameImage();
    void loadLeaderboard();
    void renderLeaderboardReply(const ServerReply& reply);
    QWidget* buildScoreRow(const QJsonObject& entry, QWidget* parent);
    QWidget* buildRow(const QJsonObject& entry, int position, bool isMe, bool highlighted);
    int rowHeight(bool highlighted);
    void showRowAvatar(QLabel* avatarLabel, const QString& fileName);
    void scrollToOwnRow(const QString& key);
    void showStatus(const QString& text, bool visible);

    QNetworkAccessManager* m_network;
    QScrollArea* m_scrollArea = nullptr;
    QHBoxLayout* m_columns = nullptr;
    QPointer<QWidget> m_onlinePanel;
    QWidget* m_gameCard = nullptr;
    GameCardImage* m_image = nullptr;
    QPushButton* m_playButton = nullptr;
    QWidget* m_divider = nullptr;
    KeyedListModel* m_scores = nullptr;
    WindowedRows* m_rowsContainer = nullptr;
    int m_rowHeight = 0;
    int m_highlightedRowHeight = 0;
    QLabel* m_statusLabel = nullptr;
    QTimer* m_refreshTimer = nullptr;
    UrlOpener m_urlOpener;
    ReloadCoalescer* m_leaderboardReloads = nullptr;

    QByteArray m_leaderboardFingerprint;
    bool m_openFromProfile = false;  // set by the profile before it clicks the Games button
    bool m_highlightMine = false;    // rows are built with the own row highlighted
    bool m_focusMine = false;        // scroll to the own row once after the next build
    bool m_rowsHighlighted = false;  // the highlight the current rows were built with
};
