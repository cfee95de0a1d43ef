#include "MessageBoxCatcher.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxCatcher::MessageBoxCatcher()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::closeOpenBoxes);
    m_timer.start();
}

QStringList MessageBoxCatcher::shown() const
{
    QStringList result;
    for (const Box& box : m_boxes)
        result << box.title + QStringLiteral(": ") + box.text;
    return result;
}

void MessageBoxCatcher::closeOpenBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible())
            continue;
        m_boxes.append({box->windowTitle(), box->text(), box->icon() == QMessageBox::Critical,
                        box->textFormat() == Qt::PlainText});
        box->done(QMessageBox::Ok);
    }
}
