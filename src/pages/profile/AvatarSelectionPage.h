#pragma once

#include <QPixmap>
#include <QWidget>

class QPushButton;

// The avatar selection page: the seven built-in avatars as round choice buttons
// and "← Return to profile". The choice only changes the picture on the profile
// page; nothing is sent to the server.
class AvatarSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit AvatarSelectionPage(QWidget* parent = nullptr);

    // Loads the built-in avatar; when it exists, announces it through avatarChosen.
    void chooseAvatar(const QString& fileName);

    QPushButton* returnButton() const { return m_returnButton; }

signals:
    // A built-in avatar was chosen; `picture` is its full image.
    void avatarChosen(const QString& fileName, const QPixmap& picture);
    // "← Return to profile" was clicked.
    void returnToProfileRequested();

private:
    QPushButton* m_returnButton = nullptr;
};
