#include "pages/profile/ProfileEditDialog.h"

#include "app/LogCategories.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/PlainMessageBox.h"
#include "widgets/avatar/CircularAvatar.h"
#include "widgets/effects/ButtonLiftHover.h"
#include "widgets/effects/EffectSupport.h"

#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

constexpr int kPreviewPicture = 104;
const QString kTitle = QStringLiteral("Edit Profile");

const char kDialogStyle[] = R"(
QDialog { background-color: #0f0b18; }
QFrame#editProfileCard { background-color: #171123; border: 1px solid #7c3aed; border-radius: 22px; }
#editProfileCard QLabel { background: transparent; border: none; color: #ffffff; font-family: "Times New Roman"; }
QLabel#editAvatarPreview {
    background-color: #2b1b49; border: 3px solid #a78bfa; border-radius: 55px; font-size: 48px;
}
QLabel#editProfileTitle { font-size: 26px; font-weight: bold; color: #d8b4fe; }
QLabel#editProfileSubtitle { font-size: 14px; color: #b9a8d8; }
QLabel#editProfileFieldLabel { font-size: 14px; font-weight: bold; color: #c4b5fd; }
QTextEdit#editDescriptionInput, QComboBox#editStatusSelect {
    background-color: #120d1d; border: 1px solid #3e3157; border-radius: 12px;
    color: #ffffff; font-size: 14px; padding: 6px 10px;
}
QTextEdit#editDescriptionInput:focus, QComboBox#editStatusSelect:focus { border: 1px solid #a78bfa; }
QComboBox#editStatusSelect QAbstractItemView {
    background-color: #1d1530; color: #f5f0ff; border: 1px solid #7c3aed; outline: 0;
    selection-background-color: #5b21b6; selection-color: #ffffff;
}
QPushButton#editAvatarButton, QPushButton#editSaveButton, QPushButton#editCancelButton {
    border-radius: 12px; color: #ffffff; font-weight: bold; font-size: 13px; padding: 0px;
}
QPushButton#editSaveButton, QPushButton#editCancelButton { border-radius: 10px; font-size: 11px; }
QPushButton#editAvatarButton, QPushButton#editSaveButton { background-color: #2b174f; border: 1px solid #a78bfa; }
QPushButton#editCancelButton { background-color: #2a1420; border: 1px solid #a96983; }
QPushButton#editSaveButton:disabled { color: #81798d; border-color: #3e3157; }
)";

// (list text, status value sent to the server)
const std::pair<const char*, const char*> kStatuses[] = {
    {"🟢 Online", "Online"}, {"🌙 Away", "Away"}, {"🔴 Busy", "Busy"}, {"🎮 Gaming", "Gaming"}};

}  // namespace

ProfileEditDialog::ProfileEditDialog(QNetworkAccessManager* network, QWidget* parent)
    : QDialog(parent)
    , m_network(network)
{
    setWindowTitle(QStringLiteral("Edit Profile - MoonLodge"));
    setStyleSheet(QString::fromUtf8(kDialogStyle));
    buildCard();
    // At least 680 x 570, and never smaller than the card needs.
    setMinimumSize(QSize(680, 570).expandedTo(layout()->minimumSize()));
}

void ProfileEditDialog::buildCard()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(18, 18, 18, 18);

    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("editProfileCard"));
    effects::addGlow(card, 32, QColor(139, 92, 246, 145));
    outer->addWidget(card);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(45, 38, 45, 32);
    layout->setSpacing(10);

    m_avatarPreview = DisplayText::plainLabel(QStringLiteral("👤"), QStringLiteral("editAvatarPreview"), card);
    m_avatarPreview->setFixedSize(110, 110);
    m_avatarPreview->setAlignment(Qt::AlignCenter);
    effects::addGlow(m_avatarPreview, 30, QColor(167, 139, 250, 150));
    layout->addWidget(m_avatarPreview, 0, Qt::AlignHCenter);

    m_changeAvatarButton = new QPushButton(QStringLiteral("Change avatar"), card);
    m_changeAvatarButton->setObjectName(QStringLiteral("editAvatarButton"));
    m_changeAvatarButton->setCursor(Qt::PointingHandCursor);
    new ButtonLiftHover(m_changeAvatarButton, QSize(175, 42), QColor(0xa7, 0x8b, 0xfa), true, true);
    layout->addWidget(m_changeAvatarButton, 0, Qt::AlignHCenter);

    layout->addSpacing(12);
    auto* title = DisplayText::plainLabel(QStringLiteral("Edit profile ✏️"), QStringLiteral("editProfileTitle"), card);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* subtitle = DisplayText::plainLabel(QStringLiteral("Customize your MoonLodge profile."),
                                QStringLiteral("editProfileSubtitle"), card);
    subtitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(subtitle);
    layout->addSpacing(18);

    layout->addWidget(DisplayText::plainLabel(QStringLiteral("Description"), QStringLiteral("editProfileFieldLabel"), card));
    m_descriptionEdit = new QTextEdit(card);
    m_descriptionEdit->setObjectName(QStringLiteral("editDescriptionInput"));
    m_descriptionEdit->setAcceptRichText(false);
    m_descriptionEdit->setFixedHeight(120);
    layout->addWidget(m_descriptionEdit);

    layout->addWidget(DisplayText::plainLabel(QStringLiteral("Status"), QStringLiteral("editProfileFieldLabel"), card));
    m_statusSelect = new QComboBox(card);
    m_statusSelect->setObjectName(QStringLiteral("editStatusSelect"));
    m_statusSelect->setFixedHeight(42);
    for (const auto& [text, value] : kStatuses)
        m_statusSelect->addItem(QString::fromUtf8(text), QString::fromLatin1(value));
    layout->addWidget(m_statusSelect);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_saveButton = new QPushButton(QStringLiteral("💾 Save changes"), card);
    m_saveButton->setObjectName(QStringLiteral("editSaveButton"));
    m_cancelButton = new QPushButton(QStringLiteral("🩹 Cancel"), card);
    m_cancelButton->setObjectName(QStringLiteral("editCancelButton"));
    for (QPushButton* button : {m_saveButton, m_cancelButton}) {
        button->setCursor(Qt::PointingHandCursor);
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    m_changeAvatarButton->setAutoDefault(false);
    new ButtonLiftHover(m_saveButton, QSize(110, 30), QColor(0xa7, 0x8b, 0xfa), true, true);
    new ButtonLiftHover(m_cancelButton, QSize(110, 30), QColor(0xa9, 0x69, 0x83), true, true);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_saveButton->setEnabled(false);

    connect(m_changeAvatarButton, &QPushButton::clicked, this, [this] {
        accept();
        emit changeAvatarRequested();
    });
    connect(m_saveButton, &QPushButton::clicked, this, &ProfileEditDialog::saveProfile);
    connect(m_cancelButton, &QPushButton::clicked, this, &ProfileEditDialog::reject);
}

void ProfileEditDialog::done(int result)
{
    m_closed = true;
    QDialog::done(result);
}

void ProfileEditDialog::loadProfile()
{
    RequestOptions options;
    options.acceptJson = true;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kProfile), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        if (!m_closed)
            applyProfile(result);
    });
}

void ProfileEditDialog::applyProfile(const ServerReply& reply)
{
    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded()) {
        warn(reply.errorText(QStringLiteral("Unable to load profile.")));
        return;
    }

    const QJsonObject user = reply.json.value(QLatin1String("user")).toObject();
    const QString fileName = user.value(QLatin1String("profile_image")).toString();
    QPixmap builtIn;
    if (!fileName.isEmpty() && builtIn.load(QStringLiteral(":/avatar/") + fileName)) {
        m_avatarPreview->setText(QString());
        m_avatarPreview->setPixmap(circularAvatar(builtIn, kPreviewPicture));
    }
    m_descriptionEdit->setPlainText(user.value(QLatin1String("description")).toString());

    const QString status = user.value(QLatin1String("status")).toString(QStringLiteral("Online"));
    for (int i = 0; i < m_statusSelect->count(); ++i) {
        if (m_statusSelect->itemData(i).toString().compare(status, Qt::CaseInsensitive) == 0) {
            m_statusSelect->setCurrentIndex(i);
            break;
        }
    }

    m_csrfToken = reply.json.value(QLatin1String("csrf_token")).toString().toUtf8();
    if (m_csrfToken.isEmpty()) {
        warn(QStringLiteral("Missing security token. Check that the server update is online."));
        return;
    }
    m_saveButton->setEnabled(true);
}

void ProfileEditDialog::saveProfile()
{
    if (m_closed || m_csrfToken.isEmpty())
        return;
    m_saveButton->setEnabled(false);

    const QJsonObject body{{QStringLiteral("description"), m_descriptionEdit->toPlainText()},
                           {QStringLiteral("status"), m_statusSelect->currentData().toString()}};
    RequestOptions options;
    options.csrfToken = m_csrfToken;
    options.refererPath = QStringLiteral("/");
    QNetworkReply* reply =
        ServerApi::postJson(*m_network, ServerEndpoints::url(ServerEndpoints::kProfile), body, options);
    // The network manager outlives the dialog, so the reply is always logged; the
    // dialog itself is only touched while it is still open.
    ServerApi::onFinished(reply, m_network, [dialog = QPointer<ProfileEditDialog>(this)](const ServerReply& result) {
        qCWarning(lcPages).noquote() << "Profilo: HTTP" << result.httpStatus << "- errore:" << result.errorString;
        if (!dialog || dialog->m_closed)
            return;
        qCWarning(lcPages).noquote() << "Profilo: motivo del rifiuto:" << result.json.value(QLatin1String("error")).toString();
        dialog->applySaveReply(result);
    });
}

void ProfileEditDialog::applySaveReply(const ServerReply& reply)
{
    if (!reply.hasError() && reply.isJsonObject && reply.succeeded()) {
        accept();
        emit profileSaved();
        return;
    }
    m_saveButton->setEnabled(true);
    warn(reply.errorText(QStringLiteral("Unable to save profile.")));
}

void ProfileEditDialog::warn(const QString& text)
{
    PlainMessageBox::warning(this, kTitle, text);
}
