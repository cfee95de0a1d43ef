#pragma once

#include <QFrame>
#include <QString>

#include <functional>
#include <memory>

class QBoxLayout;
class QFrame;
class QLabel;
struct ServerReply;
class QLayout;
class QNetworkAccessManager;

// What the three online-member panels (chat, ideas, games) share: the network
// access, the open-public-profile callback used by every row, the header with
// its counter badge, and the way rows are made clickable and hoverable.
// Each panel rebuilds all of its rows from every successful reply.
class OnlinePanel : public QFrame
{
    Q_OBJECT

public:
    using OpenProfile = std::function<void(const QString&)>;
    // Builds the voice control shown in the row of a member who is in the voice room.
    using VoiceControlFactory = std::function<QWidget*(const QString& userName, QWidget* parent)>;

    // Issues the panel's request; the reply rebuilds the rows.
    virtual void reload() = 0;

    // The shared open-public-profile callback; rows already built follow the change.
    void setOpenProfile(OpenProfile openProfile);
    // Until one is set, rows of members in voice get no control.
    void setVoiceControlFactory(VoiceControlFactory factory);

    QLabel* counterLabel() const { return m_counter; }
    QWidget* rowsContainer() const { return m_rows; }
    QBoxLayout* rowsLayout() const { return m_rowsLayout; }

signals:
    // Emitted once a reply has been handled, whatever its outcome.
    void replyHandled();

protected:
    OnlinePanel(QNetworkAccessManager* network, const QString& objectName, QWidget* parent);

    // Sends the panel's GET; the reply goes to `handle`, then replyHandled() is emitted.
    void request(const char* path, std::function<void(const ServerReply&)> handle);
    // Header row: green dot, title, counter badge ("0" at start). Returns the header widget.
    QWidget* buildHeader(const QString& prefix);
    // Creates the rows container (transparent, vertical layout) under the given object name.
    void buildRowsContainer(const QString& objectName);

    // Takes every item out of the rows layout and deletes its widget later.
    void clearRows();
    // The 8 x 8 status light of the ideas and games rows, with its soft glow.
    static QFrame* glowingStatusDot(QWidget* parent, const QString& objectName, const QColor& colour);

    // Click to open the profile (outside any button) and the hover slide.
    void makeRowInteractive(QWidget* row, const QString& userName);

    // Insertion point for the voice control of a member in the voice room: placed
    // into the status line at `index`. The control itself (mute button, speaking
    // highlight) comes from the voice controls; without a factory nothing is added.
    void addVoiceControl(QBoxLayout* statusLayout, int index, const QString& userName);

    QNetworkAccessManager* m_network;

private:
    std::shared_ptr<OpenProfile> m_openProfile;
    VoiceControlFactory m_voiceControlFactory;
    QLabel* m_counter = nullptr;
    QWidget* m_rows = nullptr;
    QBoxLayout* m_rowsLayout = nullptr;
};
