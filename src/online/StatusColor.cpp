#include "online/StatusColor.h"

QColor moonLodgeStatusColor(const QString& status)
{
    const QString key = status.trimmed().toLower();
    if (key == QLatin1String("away"))
        return QColor(0xff, 0xd1, 0x66);
    if (key == QLatin1String("busy"))
        return QColor(0xff, 0x6b, 0x6b);
    if (key == QLatin1String("gaming"))
        return QColor(0xa7, 0x8b, 0xfa);
    if (key == QLatin1String("offline"))
        return QColor(0x81, 0x79, 0x8d);
    return QColor(0x8f, 0xf0, 0xc8);
}
