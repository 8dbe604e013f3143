// The header parser and the encoded-word decoder: any bytes give values
// without control characters, and decoding never fails.
#include "mail/HeaderText.h"
#include "tests/fuzz/FuzzTargets.h"

namespace {
bool hasControls(const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            return true;
    }
    return false;
}
} // namespace

void fuzz::headerText(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArrayList lines = bytes.split('\n');
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    const HeaderValues values = parseHeaderBlock(lines);
    FUZZ_CHECK(!hasControls(values.from));
    FUZZ_CHECK(!hasControls(values.subject));
    FUZZ_CHECK(!hasControls(values.date));
    FUZZ_CHECK(!hasControls(values.messageId));
    (void)decodeHeaderText(bytes);
}
