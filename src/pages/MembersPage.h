#pragma once

#include <QWidget>

class MembersPage : public QWidget
{
    Q_OBJECT

public:
    explicit MembersPage(QWidget* parent = nullptr);
};
