#include "realtime/OnlinePanel.h"

#include "realtime/OnlineProfileClick.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/OnlineMemberHover.h"

#include <QBoxLayout>
#include <QGraphicsDropShadowEffect>
#include <QFont>
#include <QLabel>
#include <QLayoutItem>

OnlinePanel::OnlinePanel(QNetworkAccessManager* network, const QString& objectName, QWidget* parent)
    : QFrame(parent)
    , m_network(network)
    , m_openProfile(std::make_shared<OpenProfile>())
{
    setObjectName(objectName);
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
}

void OnlinePanel::clearRows()
{
    while (QLayoutItem* item = m_rowsLayout->takeAt(0)) {
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
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

void OnlinePanel::request(const char* path, std::function<void(const ServerReply&)> handle)
{
    if (!m_network)
        return;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(QString::fromLatin1(path)));
    ServerApi::onFinished(reply, this, [this, handle = std::move(handle)](const ServerReply& result) {
        handle(result);
        emit replyHandled();
    });
}
