#pragma once

#include <QWidget>

class PublicProfilePage : public QWidget
{
    Q_OBJECT

public:
    explicit PublicProfilePage(QWidget* parent = nullptr);
};
