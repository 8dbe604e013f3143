#include "mail/HeaderText.h"
#include "messages/TextDecoding.h"

#include "tests/support/QtPrinting.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

TEST(HeaderText, EncodedWords)
{
    const struct { const char *raw; const char *text; } cases[] = {
        {"plain subject", "plain subject"},
        {"=?UTF-8?B?SsO8cmdlbg==?=", "Jürgen"},
        {"=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=", "Grüße aus Köln"},
        {"=?utf-8?q?a?= =?utf-8?q?b?=", "ab"},                       // blank between words dropped
        {"=?utf-8?q?a?=\t =?utf-8?q?b?=", "ab"},
        {"=?utf-8?q?a?= x =?utf-8?q?b?=", "a x b"},                   // other text kept
        {"Re: =?UTF-8?Q?caf=C3=A9?= now", "Re: café now"},
        {"=?UTF-8?B?4oKs?=", "€"},
        {"=?UTF-8?Q?=E2=82?= =?UTF-8?Q?=AC?=", "€"},                   // character split across words
        {"=?UTF-8*en?Q?hi?=", "hi"},                                   // language suffix
        {"=?KOI8-R?B?98HbIMLJ2s7F0yDOwSDXxdLbyc7F?=", "Ваш бизнес на вершине"},
        {"=?windows-1252?Q?=80uro?=", "€uro"},
        {"=?x-unknown-charset?Q?abc?=", "=?x-unknown-charset?Q?abc?="}, // unknown charset: as written
        {"=?UTF-8?B?not base64!?=", "=?UTF-8?B?not base64!?="},          // broken word: as written
        {"=?UTF-8?Q?bad=ZZ?=", "=?UTF-8?Q?bad=ZZ?="},
        {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
        {"=?UTF-8?Q?unterminated", "=?UTF-8?Q?unterminated"},
        {"=??Q?x?=", "=??Q?x?="},
        {"100% =?", "100% =?"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decodeHeaderText(QByteArray(c.raw)), QString::fromUtf8(c.text)) << c.raw;
}

TEST(HeaderText, RawEightBitBytes)
{
    EXPECT_EQ(decodeEightBitText("caf\xc3\xa9"), QString::fromUtf8("café"));
    EXPECT_EQ(decodeEightBitText("caf\xe9"), QString::fromUtf8("café"));      // not UTF-8: windows-1252
    EXPECT_EQ(decodeEightBitText("\x80"), QString::fromUtf8("€"));
}

TEST(HeaderText, HeaderBlockIsUnfoldedAndFirstFieldWins)
{
    const QByteArrayList lines{
        "Received: from x",
        "\tby y",
        "FROM: Dave Jones",
        " <dave@example.com>",
        "Subject: Re: Plans for the weekend, and a",
        "\tlong line",
        "subject: second subject is ignored",
        "Date:   Fri, 4 Dec 2026 19:20:00 -0500  ",
        "Message-ID: <w@example.com>",
        "X-Evil: has\x01control",
        "",
        "From: body line must not count",
    };
    const HeaderValues v = parseHeaderBlock(lines);
    EXPECT_EQ(v.from, QStringLiteral("Dave Jones <dave@example.com>"));
    EXPECT_EQ(v.subject, QStringLiteral("Re: Plans for the weekend, and a\tlong line").replace(u'\t', u' '));
    EXPECT_EQ(v.date, QStringLiteral("Fri, 4 Dec 2026 19:20:00 -0500"));
    EXPECT_EQ(v.messageId, QStringLiteral("<w@example.com>"));
    EXPECT_TRUE(v.fields.isEmpty());

    // Further headers the rules test: every occurrence, unfolded, decoded,
    // in the block's order, and nothing of the body.
    QByteArrayList withFurther = lines;
    withFurther.insert(4, "x-spam-score: 6.1");
    withFurther.insert(5, "To: =?UTF-8?B?R3LDvMOfZQ==?= <me@example.org>");
    withFurther.append("X-Spam-Score: 99");
    const HeaderValues f = parseHeaderBlock(withFurther, {"received", "x-spam-score", "to", "x-evil", "cc"});
    EXPECT_EQ(f.from, v.from);
    using Fields = QList<std::pair<QString, QString>>;
    EXPECT_EQ(f.fields, Fields({{"received", "from x by y"}, {"x-spam-score", "6.1"},
                                {"to", QString::fromUtf8("Grüße <me@example.org>")}, {"x-evil", "has ontrol"}}));

    // A header repeated without end is kept a bounded number of times.
    QByteArrayList many(500, "Received: from somewhere");
    EXPECT_EQ(parseHeaderBlock(many, {"received"}).fields.size(), MaxKeptOccurrences);
}

TEST(HeaderText, MissingHeadersAreEmptyAndControlsBecomeBlanks)
{
    const HeaderValues v = parseHeaderBlock({"Subject: a\x07""b\x1b[31m", "From: =?UTF-8?Q?x=0Ay?="});
    EXPECT_EQ(v.subject, QStringLiteral("a b [31m"));
    EXPECT_EQ(v.from, QStringLiteral("x y"));
    EXPECT_TRUE(v.date.isEmpty());
    EXPECT_TRUE(v.messageId.isEmpty());
    EXPECT_TRUE(parseHeaderBlock({}).from.isEmpty());
    EXPECT_TRUE(parseHeaderBlock({" continuation first", ":", "NoColon"}).subject.isEmpty());
}

// A hostile header must not freeze the window: the scan for encoded words is
// linear (the exact figures are in bench_header_decode). The bound is generous:
// a quadratic scan takes seconds, ten times more under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 DecodeLimitMs = 500;
#else
constexpr qint64 DecodeLimitMs = 50;
#endif

TEST(HeaderText, HostileEncodedWordPiecesDecodeQuickly)
{
    const struct { const char *name; QByteArray raw; } cases[] = {
        {"unfinished words", QByteArray("=?a?Q? ").repeated(250'000 / 7)},
        {"no blanks", QByteArray("=?a?Q?").repeated(250'000 / 6)},
        {"words of an unknown charset", QByteArray("=?x?Q?a?= ").repeated(250'000 / 10)},
    };
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        const QString text = decodeHeaderText(c.raw);
        EXPECT_LT(clock.elapsed(), DecodeLimitMs) << c.name;
        EXPECT_GE(text.size(), c.raw.size() / 10) << c.name;
    }
}

TEST(HeaderText, LongValuesAreCutButStayDistinct)
{
    const QByteArray head = "Subject: " + QByteArray(5000, 'a');
    const QString kept = parseHeaderBlock({head + "1"}).subject;
    EXPECT_LE(kept.size(), MaxKeptValueChars + 100);
    EXPECT_TRUE(kept.startsWith(QString(MaxKeptValueChars, u'a')));
    EXPECT_TRUE(kept.contains(QStringLiteral("5001 characters in all"))) << qPrintable(kept.right(90));
    // Values equal up to the cut and beyond it compare equal; others never.
    EXPECT_EQ(kept, parseHeaderBlock({head + "1"}).subject);
    EXPECT_NE(kept, parseHeaderBlock({head + "2"}).subject);
    EXPECT_EQ(parseHeaderBlock({"From: short"}).from, QStringLiteral("short"));
    // The cut never splits a character made of two UTF-16 units.
    const QString emoji = keptHeaderValue(QString(MaxKeptValueChars - 1, u'x') + QString::fromUtf8("😀😀"));
    EXPECT_FALSE(emoji.at(MaxKeptValueChars - 1).isHighSurrogate());
}

} // namespace
