#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Bytes in a named charset to text; nullopt when the charset is unknown.
std::optional<QString> decodeCharset(const QByteArray &charset, const QByteArray &bytes);

// Bytes of no declared charset: UTF-8 when they are valid UTF-8, else
// windows-1252, so that no byte is dropped and no text turns into '?'.
QString decodeEightBitText(const QByteArray &bytes);

// Control characters (C0, DEL, C1) become blanks.
QString blankControls(QString text);
