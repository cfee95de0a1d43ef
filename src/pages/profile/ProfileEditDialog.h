#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class QTextEdit;
struct ServerReply;

// The Edit Profile dialog: loads the own profile with its own anti-forgery token,
// lets the member change description and status, and saves them. Replies that
// arrive after the dialog was closed are dropped without a word.
class ProfileEditDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProfileEditDialog(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // Asks the server for the profile; Save is enabled once a token has arrived.
    void loadProfile();
    // Sends description and status; does nothing without a token or once closed.
    void saveProfile();

    bool isClosed() const { return m_closed; }
    QByteArray csrfToken() const { return m_csrfToken; }

    QLabel* avatarPreview() const { return m_avatarPreview; }
    QTextEdit* descriptionEdit() const { return m_descriptionEdit; }
    QComboBox* statusSelect() const { return m_statusSelect; }
    QPushButton* changeAvatarButton() const { return m_changeAvatarButton; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

signals:
    // "Change avatar" closed the dialog; the avatar selection page should show.
    void changeAvatarRequested();
    // The server stored the changes and the dialog closed.
    void profileSaved();

public slots:
    void done(int result) override;

private:
    void buildCard();
    void applyProfile(const ServerReply& reply);
    void applySaveReply(const ServerReply& reply);
    void warn(const QString& text);

    QNetworkAccessManager* m_network;
    QByteArray m_csrfToken;
    bool m_closed = false;
    QLabel* m_avatarPreview = nullptr;
    QTextEdit* m_descriptionEdit = nullptr;
    QComboBox* m_statusSelect = nullptr;
    QPushButton* m_changeAvatarButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
