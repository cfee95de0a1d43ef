#pragma once

#include <QFrame>
#include <QString>

#include <functional>
#include <memory>

class KeyedListModel;
class QBoxLayout;
class QJsonArray;
class QJsonObject;
class QFont;
class ReloadCoalescer;
class WindowedRows;
class QFrame;
class QLabel;
struct ServerReply;
class QLayout;
class QNetworkAccessManager;

// What the three online-member panels (chat, ideas, games) share: the network
// access, the open-public-profile callback used by every row, the header with
// its counter badge, and the rows themselves (built from the panel's RowStyle,
// clickable and hoverable).
// Each reply updates the rows by difference: a member whose row data did not
// change keeps their row widget (and the voice indicator state on it). Reloads
// are coalesced: events during a request lead to one more request after it.
// A panel shows at most kMaxRows members; the counter still shows them all.
class OnlinePanel : public QFrame
{
    Q_OBJECT

public:
    using OpenProfile = std::function<void(const QString&)>;
    // Builds the voice control shown in the row of a member who is in the voice room.
    using VoiceControlFactory = std::function<QWidget*(const QString& userName, QWidget* parent)>;

    // How a panel's rows look. Child object names are the prefix followed by
    // "Row", "Avatar", "Name", "StatusRow", "StatusDot" and "Status".
    struct RowStyle
    {
        QString prefix;
        QString rowStyleSheet;
        int verticalMargin = 2;
        int spacing = 11;
        QString avatarPlaceholder;  // shown until a picture arrives
        QString avatarStyleSheet;
        QString nameStyleSheet;
        QString statusStyleSheet;
        QString fontFamily;  // for name and status; empty: the style sheets' sizes and the default family
        int dotSize = 8;
        QString dotStyleSheet;  // %1: the status colour
        bool dotGlows = true;
    };

    static constexpr int kMaxRows = 40;
    static constexpr int kRequestTimeoutMs = 10000;
    static constexpr int kMinReloadIntervalMs = 500;

    // Asks for the panel's request; coalesced with one in flight.
    void reload();
    bool reloadInFlight() const;

    // The shared open-public-profile callback; rows already built follow the change.
    void setOpenProfile(OpenProfile openProfile);
    // Until one is set, rows of members in voice get no control.
    void setVoiceControlFactory(VoiceControlFactory factory);

    QLabel* counterLabel() const { return m_counter; }
    QWidget* rowsContainer() const { return m_rows; }
    KeyedListModel* membersModel() const { return m_members; }
    WindowedRows* rowsView() const { return m_rowsView; }
    // A line of text shown instead of the rows ("Unavailable"), or null when none was shown.
    QLabel* messageLabel() const { return m_message; }

signals:
    // Emitted once a reply has been handled, whatever its outcome.
    void replyHandled();

protected:
    OnlinePanel(QNetworkAccessManager* network, const QString& objectName, RowStyle rowStyle, QWidget* parent);

    // The panel's GET: path and reply handler; replyHandled() is emitted after the handler.
    void setRequest(const char* path, std::function<void(const ServerReply&)> handle);
    // Header row: green dot, title, counter badge ("0" at start). Returns the header widget.
    QWidget* buildHeader(const QString& prefix);
    // Creates the rows container (transparent, vertical layout) under the given object name.
    void buildRowsContainer(const QString& objectName);

    // The rows to show, in order (at most kMaxRows are kept).
    void showMembers(const QList<QJsonObject>& members);
    // The /api/online-members reply of the ideas and games panels: its size in
    // the counter, its members (the first kMaxRows) as the rows.
    void showMemberList(const QJsonArray& members);
    // Empties the rows and shows the text instead.
    void showMessage(const QString& text, const QString& objectName);
    // The member's picture on the row's avatar label.
    virtual void showAvatar(QLabel* avatar, const QJsonObject& member) = 0;
    // The status text of a row; "Online" when the member has none.
    virtual QString statusText(const QJsonObject& member) const;

    QNetworkAccessManager* m_network;

private:
    void send();
    int rowHeight();
    // One row of the panel, built only while it is in view.
    QWidget* buildRow(const QJsonObject& member, QWidget* parent);
    QWidget* buildTextColumn(const QJsonObject& member, QWidget* row);
    QFrame* buildStatusDot(const QColor& colour, QWidget* parent) const;
    QFont rowFont(int pixelSize) const;
    // Insertion point for the voice control of a member in the voice room: placed
    // into the status line at `index`. The control itself (mute button, speaking
    // highlight) comes from the voice controls; without a factory nothing is added.
    void addVoiceControl(QBoxLayout* statusLayout, int index, const QString& userName);

    const RowStyle m_rowStyle;

    std::shared_ptr<OpenProfile> m_openProfile;
    ReloadCoalescer* m_reloads = nullptr;
    const char* m_path = nullptr;
    std::function<void(const ServerReply&)> m_handle;
    KeyedListModel* m_members = nullptr;
    WindowedRows* m_rowsView = nullptr;
    QLabel* m_message = nullptr;
    int m_rowHeight = 0;
    VoiceControlFactory m_voiceControlFactory;
    QLabel* m_counter = nullptr;
    QWidget* m_rows = nullptr;
    QBoxLayout* m_rowsLayout = nullptr;
};
