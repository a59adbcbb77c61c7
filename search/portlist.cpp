#include "search/portlist.h"

#include "serial/portname.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

bool isListed(const QString &device, const QList<SystemPort> &listed)
{
    for (const SystemPort &port : listed)
        if (canonical(port.device) == canonical(device))
            return true;
    return false;
}

bool hasLink(const QString &programDir, int n)
{
    const QFileInfo link(QDir(programDir).filePath(QStringLiteral("COM%1").arg(n)));
    return link.exists() || link.isSymLink();
}

} // namespace

QList<SearchPort> portsToSearch(const QString &programDir, int count, const QList<SystemPort> &listed)
{
    QList<SearchPort> ports;
    QStringList named;
    for (int n = 1; n <= count; ++n) {
        const QString device = portDeviceName(n, programDir);
#ifdef Q_OS_UNIX
        // An unlinked number is a /dev/ttyS that is mostly a driver's placeholder without a UART.
        if (!hasLink(programDir, n) && !isListed(device, listed))
            continue;
#else
        // A number the system does not list has no device: trying it would only list a failure.
        if (!isListed(device, listed))
            continue;
#endif
        if (named.contains(canonical(device)))
            continue;
        named << canonical(device);
        ports.append({QStringLiteral("COM%1").arg(n), n, device});
    }
#ifdef Q_OS_UNIX
    for (const SystemPort &port : listed) {
        if (named.contains(canonical(port.device)))
            continue;
        named << canonical(port.device);
        const QString label = port.description.isEmpty()
                                  ? port.device
                                  : QStringLiteral("%1 (%2)").arg(port.device, port.description);
        ports.append({label, 0, port.device});
    }
#endif
    return ports;
}

int freeLinkNumber(const QString &programDir, int count, const QList<SystemPort> &listed)
{
    for (int n = 1; n <= count; ++n)
        if (!hasLink(programDir, n) && !isListed(QStringLiteral("/dev/ttyS%1").arg(n - 1), listed))
            return n;
    return 0;
}

QString stableDevicePath(const QString &device, const QString &byIdDir)
{
    const QString target = canonical(device);
    const QFileInfoList names = QDir(byIdDir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &name : names)
        if (name.canonicalFilePath() == target)
            return name.absoluteFilePath();
    return device;
}
