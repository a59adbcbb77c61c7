#pragma once
#include <QString>

// The port numbers the tool offers: COM1 to COM16.
constexpr int kPortCount = 16;

// The device behind port number n ("COMn"). On Windows it is COMn itself. Elsewhere a file or link
// named COMn in the program's directory stands for it when present (ln -s /dev/ttyUSB0 COM1),
// else /dev/ttyS<n-1>.
QString portDeviceName(int port, const QString &programDir);
