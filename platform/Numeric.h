#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace platform {

// The number a text starts with: optional blanks, an optional sign, digits with "." as the
// decimal point and an optional exponent. A text that does not start with a number reads as 0,
// so "120px" is 120, "12abc" is 12 and "abc" is 0.
double Val(QStringView text);

// Nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> -0).
double roundHalfEven(double value);

// Conversions of a floating-point value to an integer type: rounded half to even, and empty
// when the rounded value does not fit (or the value is not a number).
std::optional<std::int16_t> toInt16(double value);
std::optional<std::int32_t> toInt32(double value);

// A double as text the way the user writes numbers: the locale's decimal separator, no group
// separators, no trailing zeros, up to 15 significant digits (1.333, 0,666, 500).
QString numberToText(double value, const QLocale& locale = QLocale::system());

} // namespace platform
