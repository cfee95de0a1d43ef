#include "online/OnlinePanel.h"

#include "online/OnlineProfileClick.h"
#include "realtime/ReloadCoalescer.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "online/OnlineMemberHover.h"

#include <QBoxLayout>
#include <QJsonObject>
#include <QGraphicsDropShadowEffect>
#include <QFont>
#include <QLabel>
#include <QLayoutItem>

namespace {

constexpr int kRowSpacing = 6;

QString memberKey(const QJsonObject& member)
{
    return member.value(QLatin1String("username")).toString();
}

}  // namespace

OnlinePanel::OnlinePanel(QNetworkAccessManager* network, const QString& objectName, QWidget* parent)
    : QFrame(parent)
    , m_network(network)
    , m_openProfile(std::make_shared<OpenProfile>())
    , m_reloads(new ReloadCoalescer([this] { send(); }, kMinReloadIntervalMs, this))
{
    setObjectName(objectName);
}

void OnlinePanel::reload()
{
    m_reloads->request();
}

bool OnlinePanel::reloadInFlight() const
{
    return m_reloads->inFlight();
}

void OnlinePanel::setOpenProfile(OpenProfile openProfile)
{
    *m_openProfile = std::move(openProfile);
}

void OnlinePanel::setVoiceControlFactory(VoiceControlFactory factory)
{
    m_voiceControlFactory = std::move(factory);
}

QWidget* OnlinePanel::buildHeader(const QString& prefix)
{
    auto* header = new QWidget(this);
    header->setObjectName(prefix + QStringLiteral("Header"));
    header->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto* dot = new QFrame(header);
    dot->setObjectName(prefix + QStringLiteral("Dot"));
    dot->setFixedSize(9, 9);
    dot->setStyleSheet(QStringLiteral("background-color: #22c55e; border: none; border-radius: 4px;"));

    auto* title = new QLabel(QStringLiteral("Online Members"), header);
    title->setObjectName(prefix + QStringLiteral("Title"));
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color: #ddd6fe; background: transparent; border: none;"));

    m_counter = new QLabel(QStringLiteral("0"), header);
    m_counter->setObjectName(prefix + QStringLiteral("Count"));
    m_counter->setTextFormat(Qt::PlainText);
    m_counter->setAlignment(Qt::AlignCenter);
    m_counter->setFixedHeight(23);
    m_counter->setMinimumWidth(23);
    m_counter->setStyleSheet(QStringLiteral(
        "color: #c4b5fd; background-color: rgba(124, 58, 237, 46); border: none; border-radius: 11px;"
        "font-size: 10px; padding: 0px 6px;"));

    layout->addWidget(dot, 0, Qt::AlignVCenter);
    layout->addWidget(title, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(m_counter, 0, Qt::AlignVCenter);
    return header;
}

void OnlinePanel::buildRowsContainer(const QString& objectName)
{
    m_rows = new QWidget(this);
    m_rows->setObjectName(objectName);
    m_rows->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setAlignment(Qt::AlignTop);
    m_members = new KeyedListModel(memberKey, kMaxRows, this);
    m_rowsView = new WindowedRows(
        m_members, [this](const QJsonObject& member, QWidget* parent) { return buildRow(member, parent); },
        [this](const QJsonObject&, int) { return rowHeight(); }, m_rows);
    m_rowsView->setShrinkable(true);
    m_rowsView->setSpacing(0, kRowSpacing);
    m_rowsLayout->addWidget(m_rowsView);
}

int OnlinePanel::rowHeight()
{
    // Every row of a panel is as high as a probe row (names stay on one line).
    if (m_rowHeight == 0) {
        QWidget* probe = buildRow(QJsonObject{{QStringLiteral("username"), QStringLiteral("x")}}, this);
        probe->ensurePolished();
        m_rowHeight = probe->sizeHint().height();
        delete probe;
    }
    return m_rowHeight;
}

void OnlinePanel::showMembers(const QList<QJsonObject>& members)
{
    if (m_message)
        m_message->hide();
    m_members->setRows(members);
}

void OnlinePanel::showMessage(const QString& text, const QString& objectName)
{
    m_members->clear();
    if (!m_message) {
        m_message = new QLabel(m_rows);
        m_message->setTextFormat(Qt::PlainText);
        m_message->setStyleSheet(
            QStringLiteral("color: #9f91b5; font-size: 12px; background: transparent; border: none;"));
        m_rowsLayout->insertWidget(0, m_message);
    }
    m_message->setObjectName(objectName);
    m_message->setText(text);
    m_message->show();
}

void OnlinePanel::makeRowInteractive(QWidget* row, const QString& userName)
{
    OnlineProfileClick::install(row, userName, m_openProfile);
    new OnlineMemberHover(row);
}

void OnlinePanel::addVoiceControl(QBoxLayout* statusLayout, int index, const QString& userName)
{
    // The voice controls work supplies the per-member mute button through the factory.
    if (!m_voiceControlFactory)
        return;
    if (QWidget* control = m_voiceControlFactory(userName, statusLayout->parentWidget()))
        statusLayout->insertWidget(index, control);
}

QFrame* OnlinePanel::glowingStatusDot(QWidget* parent, const QString& objectName, const QColor& colour)
{
    auto* dot = new QFrame(parent);
    dot->setObjectName(objectName);
    dot->setFixedSize(8, 8);
    dot->setStyleSheet(
        QStringLiteral("QFrame { background-color: %1; border: none; border-radius: 4px;}").arg(colour.name()));
    auto* glow = new QGraphicsDropShadowEffect(dot);
    glow->setOffset(0, 0);
    glow->setBlurRadius(8);
    QColor glowColour = colour;
    glowColour.setAlpha(150);
    glow->setColor(glowColour);
    dot->setGraphicsEffect(glow);
    return dot;
}

void OnlinePanel::setRequest(const char* path, std::function<void(const ServerReply&)> handle)
{
    m_path = path;
    m_handle = std::move(handle);
}

void OnlinePanel::send()
{
    if (!m_network || !m_path) {
        m_reloads->finished();
        return;
    }
    RequestOptions options;
    options.timeoutMs = kRequestTimeoutMs;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(QString::fromLatin1(m_path)), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        m_handle(result);
        emit replyHandled();
        m_reloads->finished();
    });
}
