#include "mail/HeaderText.h"

#include "messages/TextDecoding.h"

#include <QStringDecoder>
#include <cctype>
#include <optional>
#include <vector>

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t'; }

// One piece of a header value: literal bytes, or the payload of an encoded word.
struct Piece
{
    bool encoded = false;
    QByteArray charset;     // lower-cased, language suffix removed
    QByteArray bytes;       // decoded payload, or the literal bytes
    QByteArray original;    // the encoded word(s) as written
};

std::optional<QByteArray> decodeQ(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 >= text.size() || !isxdigit(uchar(text[i + 1])) || !isxdigit(uchar(text[i + 2])))
                return std::nullopt;
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// Parses "=?charset?E?text?=" at raw[pos]; on success fills piece and returns its length.
qsizetype parseEncodedWord(const QByteArray &raw, qsizetype pos, Piece *piece)
{
    if (!raw.mid(pos, 2).startsWith("=?"))
        return 0;
    const qsizetype q1 = raw.indexOf('?', pos + 2);
    if (q1 < 0 || q1 == pos + 2 || q1 + 2 >= raw.size() || raw[q1 + 2] != '?')
        return 0;
    const char encoding = raw[q1 + 1];
    const qsizetype end = raw.indexOf("?=", q1 + 3);
    if (end < 0)
        return 0;
    QByteArray charset = raw.mid(pos + 2, q1 - pos - 2);
    const QByteArray text = raw.mid(q1 + 3, end - q1 - 3);
    for (char c : charset + text)
        if (isWhite(c) || c == '?' || uchar(c) < 0x21 || uchar(c) > 0x7e)
            return 0;
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star);
    std::optional<QByteArray> payload;
    if (encoding == 'Q' || encoding == 'q') {
        payload = decodeQ(text);
    } else if (encoding == 'B' || encoding == 'b') {
        auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (result)
            payload = result.decoded;
    }
    if (!payload || charset.isEmpty())
        return 0;
    piece->encoded = true;
    piece->charset = charset.toLower();
    piece->bytes = *payload;
    piece->original = raw.mid(pos, end + 2 - pos);
    return end + 2 - pos;
}

std::vector<Piece> splitPieces(const QByteArray &raw)
{
    std::vector<Piece> pieces;
    auto literal = [&](char c) {
        if (pieces.empty() || pieces.back().encoded)
            pieces.push_back(Piece());
        pieces.back().bytes += c;
        pieces.back().original += c;
    };
    for (qsizetype i = 0; i < raw.size();) {
        Piece word;
        if (const qsizetype length = parseEncodedWord(raw, i, &word)) {
            // White space between two encoded words is not part of the text.
            if (pieces.size() >= 2 && !pieces.back().encoded && pieces[pieces.size() - 2].encoded) {
                bool blank = true;
                for (char c : pieces.back().bytes)
                    blank = blank && isWhite(c);
                if (blank)
                    pieces.pop_back();
            }
            // Adjacent words of one charset are joined before decoding, since
            // senders split multi-byte characters across words.
            if (!pieces.empty() && pieces.back().encoded && pieces.back().charset == word.charset) {
                pieces.back().bytes += word.bytes;
                pieces.back().original += word.original;
            } else {
                pieces.push_back(std::move(word));
            }
            i += length;
        } else {
            literal(raw[i]);
            ++i;
        }
    }
    return pieces;
}

QByteArray unfold(const QByteArrayList &lines, qsizetype first, qsizetype *next)
{
    QByteArray value = lines[first];
    qsizetype i = first + 1;
    while (i < lines.size() && !lines[i].isEmpty() && isWhite(lines[i][0]))
        value += lines[i++];
    *next = i;
    return value;
}

QByteArray trimmedWhite(const QByteArray &bytes)
{
    qsizetype begin = 0, end = bytes.size();
    while (begin < end && isWhite(bytes[begin]))
        ++begin;
    while (end > begin && (isWhite(bytes[end - 1]) || bytes[end - 1] == '\r'))
        --end;
    return bytes.mid(begin, end - begin);
}

} // namespace

QString decodeHeaderText(const QByteArray &raw)
{
    QString out;
    for (const Piece &piece : splitPieces(raw)) {
        std::optional<QString> text;
        if (piece.encoded)
            text = decodeCharset(piece.charset, piece.bytes);
        out += text ? *text : decodeEightBitText(piece.original);
    }
    return out;
}

HeaderValues parseHeaderBlock(const QByteArrayList &lines)
{
    HeaderValues values;
    bool haveFrom = false, haveSubject = false, haveDate = false, haveId = false;
    for (qsizetype i = 0; i < lines.size() && !lines[i].isEmpty();) {
        qsizetype next = i + 1;
        if (isWhite(lines[i][0])) { // continuation without a header: skip
            i = next;
            continue;
        }
        const QByteArray field = unfold(lines, i, &next);
        i = next;
        const qsizetype colon = field.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = field.left(colon).trimmed().toLower();
        const QByteArray value = trimmedWhite(field.mid(colon + 1));
        if (name == "from" && !haveFrom) {
            values.from = blankControls(decodeHeaderText(value));
            haveFrom = true;
        } else if (name == "subject" && !haveSubject) {
            values.subject = blankControls(decodeHeaderText(value));
            haveSubject = true;
        } else if (name == "date" && !haveDate) {
            values.date = blankControls(decodeEightBitText(value));
            haveDate = true;
        } else if (name == "message-id" && !haveId) {
            values.messageId = blankControls(decodeEightBitText(value));
            haveId = true;
        }
    }
    return values;
}
