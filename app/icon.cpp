#include "app/icon.h"

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kv4820-tool-%1.png").arg(size), QSize(size, size));
    return icon;
}
