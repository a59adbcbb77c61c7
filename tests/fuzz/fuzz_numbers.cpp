// Texts typed into the request fields.
#include "app/numbers.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const std::optional<double> number = readNumber(text);
    if (!number)
        return 0;
    if (!std::isfinite(*number))
        abort();
    const double floor = integerPart(*number);
    const double rounded = roundHalfEven(*number);
    const bool fractionShows = std::fabs(*number) < 1e15; // beyond, every double is whole
    if (floor > *number || (fractionShows && floor + 1 <= *number) || std::fabs(rounded - *number) > 0.5)
        abort();
    if (const std::optional<quint8> byte = asByte(floor); byte && double(*byte) != floor)
        abort();
    return 0;
}
