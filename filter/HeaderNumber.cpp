#include "filter/HeaderNumber.h"

#include <QLocale>
#include <QRegularExpression>

std::optional<double> parseHeaderNumber(QStringView text)
{
    static const QRegularExpression leadingNumber(QStringLiteral(R"(^\s*([+-]?(?:\d+(?:\.\d*)?|\.\d+))(?:$|[^\d.]))"));
    const QRegularExpressionMatch match = leadingNumber.match(text.toString());
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(match.capturedView(1), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}
