#include "messages/TextDecoding.h"

#include <QStringDecoder>

std::optional<QString> decodeCharset(const QByteArray &charset, const QByteArray &bytes)
{
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return decoder.decode(bytes);
}

QString decodeEightBitText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (auto windows = decodeCharset("windows-1252", bytes))
        return *windows;
    return QString::fromLatin1(bytes);
}

QString blankControls(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            c = u' ';
    }
    return text;
}
