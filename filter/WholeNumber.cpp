#include "filter/WholeNumber.h"

#include <limits>

namespace {
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
} // namespace

std::optional<qint64> parseWholeNumber(QStringView text)
{
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && text[i] == u' ')
        ++i;
    while (end > i && text[end - 1] == u' ')
        --end;

    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    // The magnitude is gathered as a non-positive number so that the most
    // negative 64-bit value still fits.
    qint64 magnitude = 0;
    qsizetype digits = 0;
    for (; i < end && isDigit(text[i]); ++i, ++digits) {
        const int d = text[i].unicode() - u'0';
        if (magnitude < (std::numeric_limits<qint64>::min() + d) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 - d;
    }

    // Fraction: first digit decides the rounding, later digits only whether
    // a 5 is an exact half.
    int firstFraction = 0;
    bool restNonZero = false;
    if (i < end && text[i] == u'.') {
        ++i;
        for (qsizetype f = 0; i < end && isDigit(text[i]); ++i, ++f, ++digits) {
            if (f == 0)
                firstFraction = text[i].unicode() - u'0';
            else if (text[i] != u'0')
                restNonZero = true;
        }
    }
    if (i != end || digits == 0)
        return std::nullopt;

    const bool odd = magnitude % 2 != 0;
    const bool roundUp = firstFraction > 5 || (firstFraction == 5 && (restNonZero || odd));
    if (roundUp) {
        if (magnitude == std::numeric_limits<qint64>::min())
            return std::nullopt;
        magnitude -= 1;
    }
    if (negative)
        return magnitude;
    if (magnitude == std::numeric_limits<qint64>::min())
        return std::nullopt;
    return -magnitude;
}
