#include "response/decode.h"

#include "app/numbers.h"

#include <cstdlib>
#include <iterator>

QString registerText(quint16 raw)
{
    const int hundredths = raw <= 20000 ? int(raw) : int(raw) - 65536;
    const int magnitude = std::abs(hundredths);
    // Ten of these per answer: written digit by digit from the right, as a formatting call
    // costs five times as much.
    char text[8]; // "-455.35" at most
    char *first = std::end(text);
    int rest = magnitude;
    for (int digit = 0; digit < 3 || rest > 0; ++digit) {
        if (digit == 2)
            *--first = '.';
        *--first = char('0' + rest % 10);
        rest /= 10;
    }
    if (hundredths < 0)
        *--first = '-';
    return QString::fromLatin1(first, std::end(text) - first);
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
