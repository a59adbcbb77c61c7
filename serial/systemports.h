#pragma once
// The serial devices the system lists, each with hardware behind it.
#include <QList>
#include <QString>

struct SystemPort
{
    QString device;      // "/dev/ttyUSB0", or "COM3" on Windows
    QString description; // "FT232R USB UART"; may be empty
};

QList<SystemPort> systemPorts();
