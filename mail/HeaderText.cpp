#include "mail/HeaderText.h"

#include "messages/TextDecoding.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <algorithm>
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
// Neither the charset nor the text may hold '?' or a blank, so each search
// stops at the next '?' or blank: the scan of a whole value stays linear,
// however many "=?" a hostile header holds.
qsizetype parseEncodedWord(const QByteArray &raw, qsizetype pos, Piece *piece)
{
    const qsizetype size = raw.size();
    if (pos + 1 >= size || raw[pos] != '=' || raw[pos + 1] != '?')
        return 0;
    auto nextQuestionMark = [&](qsizetype from) -> qsizetype {
        for (qsizetype k = from; k < size; ++k) {
            const uchar c = uchar(raw[k]);
            if (c == '?')
                return k;
            if (c < 0x21 || c > 0x7e)
                return -1;
        }
        return -1;
    };
    const qsizetype q1 = nextQuestionMark(pos + 2);
    if (q1 < 0 || q1 == pos + 2 || q1 + 2 >= size || raw[q1 + 2] != '?')
        return 0;
    const char encoding = raw[q1 + 1];
    const qsizetype end = nextQuestionMark(q1 + 3);
    if (end < 0 || end + 1 >= size || raw[end + 1] != '=')
        return 0;
    QByteArray charset = raw.mid(pos + 2, q1 - pos - 2);
    const QByteArray text = raw.mid(q1 + 3, end - q1 - 3);
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

QString keptHeaderValue(const QString &value)
{
    if (value.size() <= MaxKeptValueChars)
        return value;
    // The digest of the whole value keeps two long values that differ only
    // after the cut from comparing equal, so the deletion's exact test of
    // From and Subject stays sound.
    const QByteArray digest = QCryptographicHash::hash(value.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    const qsizetype cut = value.at(MaxKeptValueChars - 1).isHighSurrogate() ? MaxKeptValueChars - 1 : MaxKeptValueChars;
    return value.left(cut) +
           QStringLiteral(" [... %1 characters in all, SHA-256 %2]").arg(value.size()).arg(QLatin1String(digest));
}

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

HeaderValues parseHeaderBlock(const QByteArrayList &lines, const QStringList &furtherNames)
{
    HeaderValues values;
    values.fieldsAskedFor = furtherNames;
    QList<QByteArray> further;
    for (const QString &name : furtherNames)
        further.append(name.toLatin1());
    enum Kept { From, Subject, Date, MessageId, None };
    static const QByteArray names[] = {"from", "subject", "date", "message-id"};
    bool have[None] = {};
    for (qsizetype i = 0; i < lines.size() && !lines[i].isEmpty();) {
        qsizetype next = i + 1;
        if (isWhite(lines[i][0])) { // continuation without a header: skip
            i = next;
            continue;
        }
        // The name is on the field's first line, so most fields, which are
        // not kept, are passed over without being unfolded.
        QByteArray field;
        qsizetype colon = lines[i].indexOf(':');
        if (colon < 0) {
            field = unfold(lines, i, &next);
            colon = field.indexOf(':');
        }
        const QByteArrayView name = QByteArrayView(field.isNull() ? lines[i] : field).first(qMax<qsizetype>(colon, 0)).trimmed();
        Kept kept = None;
        for (int k = From; k < None && colon > 0; ++k)
            if (!have[k] && qstrnicmp(name.data(), name.size(), names[k].constData(), names[k].size()) == 0)
                kept = Kept(k);
        qsizetype furtherName = -1;
        for (qsizetype f = 0; f < further.size() && kept == None && colon > 0 && furtherName < 0; ++f)
            if (qstrnicmp(name.data(), name.size(), further[f].constData(), further[f].size()) == 0 &&
                std::count_if(values.fields.cbegin(), values.fields.cend(),
                              [&](const auto &field) { return field.first == furtherNames[f]; }) < MaxKeptOccurrences)
                furtherName = f;
        if (kept == None && furtherName < 0) {
            while (next < lines.size() && !lines[next].isEmpty() && isWhite(lines[next][0]))
                ++next;
            i = next;
            continue;
        }
        if (field.isNull())
            field = unfold(lines, i, &next);
        i = next;
        const QByteArray value = trimmedWhite(field.mid(colon + 1));
        if (furtherName >= 0) {
            values.fields.append({furtherNames[furtherName], keptHeaderValue(blankControls(decodeHeaderText(value)))});
            continue;
        }
        have[kept] = true;
        switch (kept) {
        case From: values.from = keptHeaderValue(blankControls(decodeHeaderText(value))); break;
        case Subject: values.subject = keptHeaderValue(blankControls(decodeHeaderText(value))); break;
        case Date: values.date = keptHeaderValue(blankControls(decodeEightBitText(value))); break;
        case MessageId: values.messageId = keptHeaderValue(blankControls(decodeEightBitText(value))); break;
        case None: break;
        }
    }
    return values;
}
