#pragma once

#include <QStringView>

#include <optional>

// The number a header value begins with, as spam filters write their score:
// "5.3", " -0.7", "12.0 (+++++)". Anything that does not begin with a decimal
// number (after blanks) is no number.
std::optional<double> parseHeaderNumber(QStringView text);
