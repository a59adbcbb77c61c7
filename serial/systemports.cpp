#include "serial/systemports.h"

#include <QSerialPortInfo>

QList<SystemPort> systemPorts()
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
#ifdef Q_OS_WIN
        // What QSerialPort opens and the port list names: "COM3", not "\\.\COM3".
        ports.append({info.portName(), info.description()});
#else
        ports.append({info.systemLocation(), info.description()});
#endif
    return ports;
}
