#pragma once

#include <QJsonObject>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class CredentialWorker;
struct ServerReply;

// The first page: user name and password, the remembered login, and the login request.
class LoginPage : public QWidget
{
    Q_OBJECT

public:
    LoginPage(QNetworkAccessManager* network, CredentialWorker* credentials, QWidget* parent = nullptr);

    // After a logout: clears the fields, fills them from the remembered login
    // when the store answers, makes the login button ready and puts the focus
    // on the user name.
    void prepareForNextLogin();

    static const QString kIdleButtonText;
    static const QString kCredentialTarget;

signals:
    // The server accepted the login; `user` is the reply's user object.
    void loginSucceeded(const QJsonObject& user);

private:
    QWidget* buildCard();
    QWidget* buildLogoRow(QWidget* parent);
    QWidget* buildLoginButtonSlot(QWidget* parent);
    QWidget* buildRegisterRow(QWidget* parent);
    QLineEdit* buildField(const QString& placeholder, const QString& objectName, QWidget* parent);
    void addPasswordToggle();
    void connectSubmitKeys();
    // Asks the store for the remembered login; fills the fields when it answers,
    // unless the member has typed meanwhile.
    void fillFromRememberedLogin(bool checkRememberBox);

    void submit();
    void handleLoginReply(const ServerReply& reply, const QString& userName, const QString& password);
    void rememberLogin(const QString& userName, const QString& password);
    void showCredentialsNotSaved();
    void onRememberToggled(bool checked);

    QNetworkAccessManager* m_network;
    CredentialWorker* m_credentials;
    QLineEdit* m_userNameField = nullptr;
    QLineEdit* m_passwordField = nullptr;
    QCheckBox* m_rememberBox = nullptr;
    QPushButton* m_loginButton = nullptr;
};
