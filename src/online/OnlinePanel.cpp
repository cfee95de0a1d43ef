#include "online/OnlinePanel.h"

#include "online/OnlineMemberHover.h"
#include "online/StatusColor.h"
#include "widgets/PageListSupport.h"
#include "realtime/ReloadCoalescer.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/KeyedListModel.h"
#include "widgets/PressReleaseClick.h"
#include "widgets/WindowedRows.h"

#include <QBoxLayout>
#include <QJsonArray>
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

OnlinePanel::OnlinePanel(QNetworkAccessManager* network, const QString& objectName, RowStyle rowStyle,
                         QWidget* parent)
    : QFrame(parent)
    , m_network(network)
    , m_rowStyle(std::move(rowStyle))
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

void OnlinePanel::showMemberList(const QJsonArray& members)
{
    m_counter->setText(QString::number(members.size()));
    QList<QJsonObject> rows;
    for (qsizetype i = 0; i < members.size() && i < kMaxRows; ++i)
        rows.append(members.at(i).toObject());
    showMembers(rows);
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

QWidget* OnlinePanel::buildRow(const QJsonObject& member, QWidget* parent)
{
    const QString& prefix = m_rowStyle.prefix;
    auto* row = new QFrame(parent);
    row->setObjectName(prefix + QStringLiteral("Row"));
    row->setAttribute(Qt::WA_StyledBackground, true);
    row->setStyleSheet(m_rowStyle.rowStyleSheet);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, m_rowStyle.verticalMargin, 0, m_rowStyle.verticalMargin);
    rowLayout->setSpacing(m_rowStyle.spacing);

    auto* avatar = new QLabel(m_rowStyle.avatarPlaceholder, row);
    avatar->setObjectName(prefix + QStringLiteral("Avatar"));
    avatar->setTextFormat(Qt::PlainText);
    avatar->setFixedSize(54, 54);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setStyleSheet(m_rowStyle.avatarStyleSheet);
    showAvatar(avatar, member);

    rowLayout->addWidget(avatar);
    rowLayout->addWidget(buildTextColumn(member, row), 1);

    const QString userName = member.value(QLatin1String("username")).toString();
    new PressReleaseClick(
        row,
        [open = m_openProfile, userName] {
            // A copy: opening a profile may rebuild the panel and delete this row.
            if (const OpenProfile action = *open)
                action(userName);
        },
        PressReleaseClick::Watch::TargetAndDescendants);
    new OnlineMemberHover(row);
    return row;
}

QWidget* OnlinePanel::buildTextColumn(const QJsonObject& member, QWidget* row)
{
    const QString& prefix = m_rowStyle.prefix;
    const QString userName = member.value(QLatin1String("username")).toString();
    const QString status = statusText(member);

    auto* textColumn = new QWidget(row);
    textColumn->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* textLayout = new QVBoxLayout(textColumn);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(2);
    textLayout->setAlignment(Qt::AlignVCenter);

    auto* name = new QLabel(pagelist::capped(userName, pagelist::kMaxNameChars), textColumn);
    name->setObjectName(prefix + QStringLiteral("Name"));
    pagelist::setFullTextTip(name, userName);
    name->setTextFormat(Qt::PlainText);
    if (!m_rowStyle.fontFamily.isEmpty()) {
        QFont nameFont = rowFont(12);
        nameFont.setBold(true);
        name->setFont(nameFont);
    }
    name->setStyleSheet(m_rowStyle.nameStyleSheet);

    auto* statusRow = new QWidget(textColumn);
    statusRow->setObjectName(prefix + QStringLiteral("StatusRow"));
    statusRow->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(5);

    auto* statusLabel = new QLabel(pagelist::capped(status, pagelist::kMaxNameChars), statusRow);
    statusLabel->setObjectName(prefix + QStringLiteral("Status"));
    statusLabel->setTextFormat(Qt::PlainText);
    if (!m_rowStyle.fontFamily.isEmpty())
        statusLabel->setFont(rowFont(10));
    statusLabel->setStyleSheet(m_rowStyle.statusStyleSheet);

    statusLayout->addWidget(buildStatusDot(moonLodgeStatusColor(status), statusRow), 0, Qt::AlignVCenter);
    statusLayout->addWidget(statusLabel);
    statusLayout->addStretch(1);
    if (member.value(QLatin1String("voice_active")).toBool(false))
        addVoiceControl(statusLayout, 2, userName);  // after the status text, before the stretch

    textLayout->addWidget(name);
    textLayout->addWidget(statusRow);
    return textColumn;
}

QString OnlinePanel::statusText(const QJsonObject& member) const
{
    return member.value(QLatin1String("status")).toString(QStringLiteral("Online"));
}

QFont OnlinePanel::rowFont(int pixelSize) const
{
    QFont font(m_rowStyle.fontFamily);
    font.setPixelSize(pixelSize);
    return font;
}

void OnlinePanel::addVoiceControl(QBoxLayout* statusLayout, int index, const QString& userName)
{
    // The voice controls work supplies the per-member mute button through the factory.
    if (!m_voiceControlFactory)
        return;
    if (QWidget* control = m_voiceControlFactory(userName, statusLayout->parentWidget()))
        statusLayout->insertWidget(index, control);
}

QFrame* OnlinePanel::buildStatusDot(const QColor& colour, QWidget* parent) const
{
    auto* dot = new QFrame(parent);
    dot->setObjectName(m_rowStyle.prefix + QStringLiteral("StatusDot"));
    dot->setFixedSize(m_rowStyle.dotSize, m_rowStyle.dotSize);
    dot->setStyleSheet(m_rowStyle.dotStyleSheet.arg(colour.name()));
    if (!m_rowStyle.dotGlows)
        return dot;
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
