#pragma once

#include <QWidget>

class GamesPage : public QWidget
{
    Q_OBJECT

public:
    explicit GamesPage(QWidget* parent = nullptr);
};
