#include "resources/AppIcon.h"

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/lanfinch/icons/lanfinch-%1.png").arg(size), QSize(size, size));
    return icon;
}
