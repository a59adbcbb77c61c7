#pragma once
// Which ports a search tries, and the COMn link that makes a device found there a port of the list.
#include "search/searcher.h"
#include "serial/systemports.h"

#include <QList>
#include <QString>

// Ports 1..count that can exist (on Linux: linked in programDir, or a /dev/ttyS the system lists),
// each device once; then, outside Windows, every listed device that no COMn names.
QList<SearchPort> portsToSearch(const QString &programDir, int count, const QList<SystemPort> &listed);

// The lowest n in 1..count with no COMn in programDir and no listed /dev/ttyS<n-1>; 0 when none.
int freeLinkNumber(const QString &programDir, int count, const QList<SystemPort> &listed);

// The device's name under byIdDir (which survives replugging) when it has one, else the device.
QString stableDevicePath(const QString &device, const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));
