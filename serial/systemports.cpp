#include "serial/systemports.h"

#include <QSerialPortInfo>

QList<SystemPort> systemPorts()
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.systemLocation(), info.description()});
    return ports;
}
