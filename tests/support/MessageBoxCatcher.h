#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Closes every message box that opens while it lives and remembers what it said,
// so tests can check the texts (and how they were shown) without a modal loop
// blocking them.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
        bool critical = false;
        bool plainText = false;
    };

    MessageBoxCatcher();

    const QList<Box>& boxes() const { return m_boxes; }
    // Every box so far as "title: text".
    QStringList shown() const;

private:
    void closeOpenBoxes();

    QTimer m_timer;
    QList<Box> m_boxes;
};
