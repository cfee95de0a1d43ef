#pragma once

#include <QColor>
#include <QString>

// Colour of a member status: "away", "busy", "gaming" and "offline" (trimmed, any
// letter case) have their own; anything else counts as online.
QColor moonLodgeStatusColor(const QString& status);
