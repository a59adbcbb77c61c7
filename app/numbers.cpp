#include "app/numbers.h"

#include <QRegularExpression>
#include <cmath>

std::optional<double> readNumber(const QString &text)
{
    // [0-9], not \d: other scripts' digits are not numbers here.
    static const QRegularExpression pattern(
        QStringLiteral("^[ \\t]*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)[ \\t]*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double integerPart(double value)
{
    return std::floor(value);
}

double roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<quint8> asByte(double wholeNumber)
{
    if (wholeNumber < 0 || wholeNumber > 255)
        return std::nullopt;
    return static_cast<quint8>(wholeNumber);
}
