#pragma once

#include <QWidget>

class IdeasPage : public QWidget
{
    Q_OBJECT

public:
    explicit IdeasPage(QWidget* parent = nullptr);
};
