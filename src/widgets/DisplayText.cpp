#include "widgets/DisplayText.h"

#include <QLabel>

QString DisplayText::capped(const QString& text, int maxLength)
{
    if (text.size() <= maxLength || maxLength < 1)
        return text;
    qsizetype keep = maxLength - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;  // never split a character outside the basic plane
    return text.left(keep) + QChar(0x2026);
}

void DisplayText::setName(QLabel* label, const QString& name, int maxLength)
{
    const QString shown = capped(name, maxLength);
    label->setText(shown);
    label->setToolTip(shown == name ? QString() : capped(name, kToolTipLength));
}

void DisplayText::setLongText(QLabel* label, const QString& text)
{
    label->setText(capped(text, kLongTextLength));
}

QLabel* DisplayText::plainLabel(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    return label;
}
