#include "response/decode.h"

#include "app/numbers.h"

QString registerText(quint16 raw)
{
    const int hundredths = raw <= 20000 ? int(raw) : int(raw) - 65536;
    // A whole number of hundredths: two decimals show it exactly.
    return QString::number(hundredths / 100.0, 'f', 2);
}

int firstSlot(const QString &startText)
{
    const std::optional<double> number = readNumber(startText);
    if (!number)
        return 0;
    const double start = integerPart(*number);
    // Start 13 and above would begin past the last slot: such answers fill from slot 0.
    if (start > 12)
        return 0;
    // Far below any slot (kept finite): every register of the answer lands outside the boxes.
    if (start < -1000)
        return -2000;
    return start == 0 ? 0 : int(2 * (start - 1));
}
