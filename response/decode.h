#pragma once
// Turning register values of an answer into the texts of the value boxes.
#include <QString>

constexpr quint16 kFaultValue = 0xFFFF;
constexpr int kSlotCount = 24;

// The value box text of one raw register: hundredths as "#0.00", above 20000 negative.
// Not for the fault value, which is shown as "0".
QString registerText(quint16 raw);

// The slot of the first register of an answer, from the start register's text at answer time.
int firstSlot(const QString &startText);
