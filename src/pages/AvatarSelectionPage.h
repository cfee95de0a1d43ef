#pragma once

#include <QWidget>

class AvatarSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit AvatarSelectionPage(QWidget* parent = nullptr);
};
