#pragma once

#include <QString>

class QWidget;

// Modal boxes with one OK button whose text is always shown as plain text:
// server messages such as "<img src=x>" appear literally and load nothing.
namespace PlainMessageBox {

void warning(QWidget* parent, const QString& title, const QString& text);
void critical(QWidget* parent, const QString& title, const QString& text);

}  // namespace PlainMessageBox
