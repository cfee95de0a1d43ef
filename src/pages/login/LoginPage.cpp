#include "pages/login/LoginPage.h"

#include "pages/login/InvaderLogo.h"
#include "pages/login/LoginFieldGlow.h"
#include "pages/login/LoginLightLayer.h"
#include "session/CredentialWorker.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/PlainMessageBox.h"
#include "widgets/effects/ButtonLiftHover.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <utility>

const QString LoginPage::kIdleButtonText = QStringLiteral("ENTER MOONLODGE ✦");
const QString LoginPage::kCredentialTarget = QStringLiteral("MoonLodgeDesktop/Login");

namespace {

constexpr int kCredentialBlobLimit = 512;

// Reads a remembered login blob; true only when both a user name and a password were found.
bool loadMoonLodgeLogin(QByteArray& blob, QString& username, QString& password)
{
    const QJsonDocument document = QJsonDocument::fromJson(blob);
    wipeBytes(blob);
    if (!document.isObject())
        return false;
    username = document.object().value(QLatin1String("username")).toString();
    password = document.object().value(QLatin1String("password")).toString();
    return !username.isEmpty() && !password.isEmpty();
}

QIcon eyeIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.moveTo(3, 16);
    outline.quadTo(16, 3, 29, 16);
    outline.quadTo(16, 29, 3, 16);
    painter.setPen(QPen(QColor(0xc8, 0xa2, 0xff), 2.2));
    painter.drawPath(outline);
    painter.setBrush(QColor(0xff, 0x72, 0xc6));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(16, 16), 4.5, 4.5);
    return QIcon(pixmap);
}

QLabel* styledLabel(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

}  // namespace

LoginPage::LoginPage(QNetworkAccessManager* network, CredentialWorker* credentials, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
    , m_credentials(credentials)
{
    setObjectName(QStringLiteral("loginPage"));
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(buildCard(), 0, Qt::AlignHCenter);
    layout->addStretch(1);

    fillFromRememberedLogin(true);
    connect(m_rememberBox, &QCheckBox::toggled, this, &LoginPage::onRememberToggled);
    connect(m_loginButton, &QPushButton::clicked, this, &LoginPage::submit);

    new LoginLightLayer(findChild<QWidget*>(QStringLiteral("loginAccentBar")), m_loginButton, this);
}

QWidget* LoginPage::buildCard()
{
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("loginCard"));
    card->setFixedWidth(420);
    // Slightly see-through, so the light layer behind glows through the card.
    card->setStyleSheet(QStringLiteral("QFrame#loginCard { background-color: rgba(23, 17, 35, 222); }"));
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(18, 30, 18, 28);
    layout->setSpacing(10);

    layout->addWidget(buildLogoRow(card), 0, Qt::AlignHCenter);
    auto* badge = styledLabel(QStringLiteral("👾"), QStringLiteral("loginBadge"), card);
    badge->setAlignment(Qt::AlignCenter);
    badge->setFixedSize(64, 64);
    // The badge shows the pixel invader; the emoji stays as its accessible text.
    badge->setAccessibleName(badge->text());
    badge->setPixmap(InvaderLogo::pixmap());
    layout->addWidget(badge, 0, Qt::AlignHCenter);

    auto* title = styledLabel(QStringLiteral("WELCOME BACK"), QStringLiteral("loginTitle"), card);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* accent = new QFrame(card);
    accent->setObjectName(QStringLiteral("loginAccentBar"));
    accent->setFixedSize(100, 3);
    layout->addWidget(accent, 0, Qt::AlignHCenter);
    auto* subtitle = styledLabel(QStringLiteral("Log in and enter MoonLodge."), QStringLiteral("loginSubtitle"), card);
    subtitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(subtitle);
    layout->addSpacing(8);

    layout->addWidget(styledLabel(QStringLiteral("USERNAME"), QStringLiteral("loginFieldLabel"), card));
    m_userNameField = buildField(QStringLiteral("Enter your username"), QStringLiteral("loginUsernameField"), card);
    layout->addWidget(m_userNameField);
    layout->addWidget(styledLabel(QStringLiteral("PASSWORD"), QStringLiteral("loginFieldLabel"), card));
    m_passwordField = buildField(QStringLiteral("Enter your password"), QStringLiteral("loginPasswordField"), card);
    m_passwordField->setEchoMode(QLineEdit::Password);
    addPasswordToggle();
    layout->addWidget(m_passwordField);

    m_rememberBox = new QCheckBox(QStringLiteral("Remember me on this PC"), card);
    m_rememberBox->setObjectName(QStringLiteral("loginRememberBox"));
    layout->addWidget(m_rememberBox);

    layout->addWidget(buildLoginButtonSlot(card), 0, Qt::AlignHCenter);
    layout->addWidget(buildRegisterRow(card), 0, Qt::AlignHCenter);
    connectSubmitKeys();
    return card;
}

QWidget* LoginPage::buildLogoRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("logoContainer"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(styledLabel(QStringLiteral("✦"), QStringLiteral("symbolLabel"), row));
    layout->addWidget(styledLabel(QStringLiteral("MOONLODGE"), QStringLiteral("logoLabel"), row));
    return row;
}

QLineEdit* LoginPage::buildField(const QString& placeholder, const QString& objectName, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setPlaceholderText(placeholder);
    field->setMinimumHeight(46);
    new LoginFieldGlow(field);
    return field;
}

void LoginPage::addPasswordToggle()
{
    QAction* toggle = m_passwordField->addAction(eyeIcon(), QLineEdit::TrailingPosition);
    toggle->setToolTip(QStringLiteral("Show or hide password"));
    connect(toggle, &QAction::triggered, this, [this] {
        m_passwordField->setEchoMode(m_passwordField->echoMode() == QLineEdit::Password ? QLineEdit::Normal
                                                                                         : QLineEdit::Password);
    });
}

QWidget* LoginPage::buildLoginButtonSlot(QWidget* parent)
{
    auto* slot = new QWidget(parent);
    slot->setObjectName(QStringLiteral("loginButtonSlot"));
    auto* slotLayout = new QVBoxLayout(slot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    slotLayout->setSpacing(0);

    m_loginButton = new QPushButton(kIdleButtonText, slot);
    m_loginButton->setObjectName(QStringLiteral("loginButton"));
    m_loginButton->setAutoDefault(true);
    m_loginButton->setCursor(Qt::PointingHandCursor);
    slotLayout->addWidget(m_loginButton);
    new ButtonLiftHover(m_loginButton, QSize(384, 48), QColor(167, 139, 250, 110), true, false, slotLayout);
    slot->setFixedSize(384, 48 + 4);
    return slot;
}

QWidget* LoginPage::buildRegisterRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(styledLabel(QStringLiteral("Don't have an account?"), QStringLiteral("loginRegisterText"), row));
    auto* registerButton = new QPushButton(QStringLiteral("CREATE PLAYER"), row);
    registerButton->setObjectName(QStringLiteral("registerButton"));
    registerButton->setCursor(Qt::PointingHandCursor);
    layout->addWidget(registerButton);
    new ButtonLiftHover(registerButton, QSize(registerButton->sizeHint().width() + 24, 28), QColor(0xf0, 0xab, 0xfc),
                        true, false, nullptr);
    return row;
}

void LoginPage::connectSubmitKeys()
{
    connect(m_userNameField, &QLineEdit::returnPressed, m_loginButton, &QPushButton::click);
    connect(m_passwordField, &QLineEdit::returnPressed, m_loginButton, &QPushButton::click);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), m_rememberBox);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, m_loginButton, &QPushButton::click);
    }
}

void LoginPage::fillFromRememberedLogin(bool checkRememberBox)
{
    m_credentials->read(kCredentialTarget, this, [this, checkRememberBox](CredentialStore::Result result,
                                                                          QByteArray blob) {
        QString userName;
        QString password;
        const bool found = result == CredentialStore::Result::Ok && loadMoonLodgeLogin(blob, userName, password);
        wipeBytes(blob);
        if (!found || !m_userNameField->text().isEmpty() || !m_passwordField->text().isEmpty())
            return;
        m_userNameField->setText(userName);
        m_passwordField->setText(password);
        if (checkRememberBox) {
            const QSignalBlocker blocker(m_rememberBox);
            m_rememberBox->setChecked(true);
        }
    });
}

void LoginPage::prepareForNextLogin()
{
    m_userNameField->clear();
    m_passwordField->clear();
    fillFromRememberedLogin(false);
    m_loginButton->setText(kIdleButtonText);
    m_loginButton->setEnabled(true);
    m_userNameField->setFocus();
}

void LoginPage::submit()
{
    const QString userName = m_userNameField->text().trimmed();
    const QString password = m_passwordField->text();
    if (userName.isEmpty() || password.isEmpty()) {
        PlainMessageBox::warning(this, QStringLiteral("Missing information"),
                             QStringLiteral("Please enter both username and password."));
        return;
    }

    m_loginButton->setEnabled(false);
    m_loginButton->setText(QStringLiteral("CONNECTING..."));
    const QJsonObject body{{QStringLiteral("username"), userName}, {QStringLiteral("password"), password}};
    QNetworkReply* reply = ServerApi::postJson(*m_network, ServerEndpoints::url(ServerEndpoints::kLogin), body);
    ServerApi::onFinished(reply, this, [this, userName, password](const ServerReply& result) {
        handleLoginReply(result, userName, password);
    });
}

void LoginPage::handleLoginReply(const ServerReply& reply, const QString& userName, const QString& password)
{
    m_loginButton->setEnabled(true);
    m_loginButton->setText(kIdleButtonText);

    if (!reply.isJsonObject) {
        PlainMessageBox::critical(this, QStringLiteral("Connection error"),
                              QStringLiteral("The server returned an invalid response.\nHTTP status: %1\n%2")
                                  .arg(reply.httpStatus)
                                  .arg(reply.errorString));
        return;
    }
    if (!reply.succeeded()) {
        PlainMessageBox::warning(this, QStringLiteral("Login failed"), reply.errorText(QStringLiteral("Login failed.")));
        return;
    }

    m_passwordField->clear();
    if (m_rememberBox->isChecked())
        rememberLogin(userName, password);
    emit loginSucceeded(reply.json.value(QLatin1String("user")).toObject());
}

void LoginPage::rememberLogin(const QString& userName, const QString& password)
{
    QByteArray blob = QJsonDocument(QJsonObject{{QStringLiteral("username"), userName},
                                                {QStringLiteral("password"), password}})
                          .toJson(QJsonDocument::Compact);
    if (blob.size() > kCredentialBlobLimit) {
        wipeBytes(blob);
        showCredentialsNotSaved();
        return;
    }
    m_credentials->write(kCredentialTarget, userName, std::exchange(blob, QByteArray()), this,
                         [this](CredentialStore::Result result) {
                             if (result != CredentialStore::Result::Ok)
                                 showCredentialsNotSaved();
                         });
}

void LoginPage::showCredentialsNotSaved()
{
    PlainMessageBox::warning(window(), QStringLiteral("MoonLodge"),
                             QStringLiteral("Login successful, but the credentials could not be saved."));
}

void LoginPage::onRememberToggled(bool checked)
{
    if (checked)
        return;  // stored at the next successful login
    m_credentials->remove(kCredentialTarget, this, [this](CredentialStore::Result result) {
        if (result != CredentialStore::Result::Failed)
            return;  // a login that was never stored counts as removed
        const QSignalBlocker blocker(m_rememberBox);
        m_rememberBox->setChecked(true);
        PlainMessageBox::warning(window(), QStringLiteral("MoonLodge"),
                                 QStringLiteral("Unable to remove the saved credentials."));
    });
}
