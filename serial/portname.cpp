#include "serial/portname.h"

#include <QDir>
#include <QFileInfo>

QString portDeviceName(int port, const QString &programDir)
{
    const QString name = QStringLiteral("COM%1").arg(port);
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
    return name;
#else
    const QFileInfo mapped(QDir(programDir).filePath(name));
    // A dangling link still names the user's choice: opening it fails rather than reaching ttyS.
    if (!programDir.isEmpty() && (mapped.exists() || mapped.isSymLink()))
        return mapped.absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
