#include "response/decode.h"

#include "app/numbers.h"

#include <cstdio>
#include <cstdlib>

QString registerText(quint16 raw)
{
    const int hundredths = raw <= 20000 ? int(raw) : int(raw) - 65536;
    const int magnitude = std::abs(hundredths);
    // Ten of these per answer: one formatting call, not a string put together piece by piece.
    char text[16]; // "-455.35" at most
    std::snprintf(text, sizeof text, "%s%d.%02d", hundredths < 0 ? "-" : "", magnitude / 100, magnitude % 100);
    return QString::fromLatin1(text);
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
