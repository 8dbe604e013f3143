#pragma once

#include <QStringView>

#include <optional>

// Reads a decimal number such as "800", " 801 ", "-3" or "799.5" as a whole
// number: blanks around it are allowed, a fraction is rounded to the nearest
// whole number with an exact half going to the even neighbour. Anything else
// (empty text, letters, "70,000", a value beyond 64 bits) is no number.
std::optional<qint64> parseWholeNumber(QStringView text);
