#pragma once

#include <QWidget>

class ProfilePage : public QWidget
{
    Q_OBJECT

public:
    explicit ProfilePage(QWidget* parent = nullptr);
};
