#pragma once
// Reading numbers typed by the user into the window's text boxes.
#include <QString>
#include <optional>

// The value of a text that is, as a whole, a finite decimal number: optional sign, digits with an
// optional point, an optional exponent, blanks around it. Anything else (empty text included) is none.
std::optional<double> readNumber(const QString &text);

// Integer part toward minus infinity.
double integerPart(double value);

// Nearest whole number, a value exactly halfway going to the even neighbour.
double roundHalfEven(double value);

// A whole number in 0..255, or none when it does not fit.
std::optional<quint8> asByte(double wholeNumber);
