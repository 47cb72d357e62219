#include "platform/Numeric.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>

namespace platform {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

template <typename Int>
std::optional<Int> toInt(double value)
{
    const double r = roundHalfEven(value);
    if (std::isnan(r) || r < static_cast<double>(std::numeric_limits<Int>::min())
        || r > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}

} // namespace

double Val(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;

    std::string number;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        number += static_cast<char>(text[i++].unicode());

    bool digits = false;
    while (i < n && isDigit(text[i])) {
        number += static_cast<char>(text[i++].unicode());
        digits = true;
    }
    if (i < n && text[i] == u'.') {
        number += '.';
        ++i;
        while (i < n && isDigit(text[i])) {
            number += static_cast<char>(text[i++].unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0.0;

    // An exponent counts only when digits follow it: "5e" is 5, "5e2" is 500.
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            exponent += static_cast<char>(text[j++].unicode());
        bool expDigits = false;
        while (j < n && isDigit(text[j])) {
            exponent += static_cast<char>(text[j++].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    // strtod would follow the C locale's decimal point; the text always uses ".".
    return QByteArray::fromStdString(number).toDouble();
}

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even unless
    // someone changed it; make sure of it rather than rely on it.
    const int previous = std::fegetround();
    if (previous == FE_TONEAREST)
        return std::nearbyint(value);
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(previous);
    return r;
}

std::optional<std::int16_t> toInt16(double value)
{
    return toInt<std::int16_t>(value);
}

std::optional<std::int32_t> toInt32(double value)
{
    return toInt<std::int32_t>(value);
}

QString numberToText(double value, const QLocale& locale)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'g', 15);
}

} // namespace platform
