#include "mail/Pop3ReplyReader.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

// Feeds the stream in pieces of every size from 1 up, so replies must not
// depend on where reads split the bytes.
std::vector<Pop3Reply> readAll(const QByteArray &stream, const std::vector<bool> &multi, qsizetype piece,
                               qsizetype keep = 1 << 20)
{
    Pop3ReplyReader reader;
    for (bool m : multi)
        reader.expect(m, keep);
    for (qsizetype i = 0; i < stream.size(); i += piece)
        reader.feed(stream.mid(i, piece));
    std::vector<Pop3Reply> out;
    while (reader.hasReply())
        out.push_back(reader.takeReply());
    return out;
}

TEST(ReplyReader, StatusAndMultiLineRepliesAtAnySplit)
{
    const QByteArray stream = "+OK\r\n-ERR [IN-USE] busy\r\n+OK 2 messages\r\n1 100\r\n..dot\r\n\r\n.\r\n+OK bye\n";
    for (qsizetype piece : {1, 2, 3, 7, 1000}) {
        const auto replies = readAll(stream, {false, false, true, false}, piece);
        ASSERT_EQ(replies.size(), 4u) << piece;
        EXPECT_TRUE(replies[0].ok);
        EXPECT_TRUE(replies[0].status.isEmpty());
        EXPECT_FALSE(replies[1].ok);
        EXPECT_EQ(replies[1].status, "[IN-USE] busy");
        EXPECT_TRUE(replies[2].ok);
        EXPECT_EQ(replies[2].lines, (QByteArrayList{"1 100", ".dot", ""}));
        EXPECT_EQ(replies[3].status, "bye");
    }
}

TEST(ReplyReader, ErrToMultiLineCommandIsOneLine)
{
    const auto replies = readAll("-ERR no such message\r\n+OK\r\n.\r\n", {true, true}, 5);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_FALSE(replies[0].ok);
    EXPECT_TRUE(replies[1].ok);
    EXPECT_TRUE(replies[1].lines.isEmpty());
}

TEST(ReplyReader, OnlyExactOkCounts)
{
    for (const char *line : {"+OKAY\r\n", "+ok\r\n", "OK\r\n", "*\r\n"}) {
        Pop3ReplyReader reader;
        reader.expect(false, 0);
        reader.feed(QByteArray(line));
        EXPECT_TRUE(reader.outOfStep()) << line;
        ASSERT_TRUE(reader.hasReply());
        EXPECT_FALSE(reader.takeReply().ok);
    }
}

TEST(ReplyReader, OverlongStatusLineIsConsumedAndLaterRepliesStayInStep)
{
    const QByteArray stream = "+OK " + QByteArray(100000, 'z') + "\r\nFrom: a\r\n.\r\n+OK next\r\n";
    for (qsizetype piece : {1000, 65536}) {
        const auto replies = readAll(stream, {true, false}, piece);
        ASSERT_EQ(replies.size(), 2u);
        EXPECT_EQ(replies[0].problem, Pop3Reply::Problem::StatusTooLong);
        EXPECT_FALSE(replies[0].ok);
        EXPECT_TRUE(replies[1].ok);
        EXPECT_EQ(replies[1].status, "next");
    }
}

TEST(ReplyReader, BodyBeyondTheLimitIsDroppedButRead)
{
    QByteArray stream = "+OK\r\n";
    for (int i = 0; i < 1000; ++i)
        stream += "X-Line: " + QByteArray(90, 'a') + "\r\n";
    stream += QByteArray(200000, 'b') + "\r\n.\r\n+OK after\r\n";
    const auto replies = readAll(stream, {true, false}, 4096, 10000);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_TRUE(replies[0].truncated);
    qsizetype kept = 0;
    for (const QByteArray &l : replies[0].lines)
        kept += l.size();
    EXPECT_LE(kept, 10000);
    EXPECT_EQ(replies[1].status, "after");
}

TEST(ReplyReader, UnsolicitedDataIsOutOfStep)
{
    Pop3ReplyReader reader;
    reader.feed(QByteArray("+OK surprise\r\n"));
    EXPECT_TRUE(reader.outOfStep());
    EXPECT_FALSE(reader.hasReply());
}

TEST(ReplyReader, PartialLineIsBuffered)
{
    Pop3ReplyReader reader;
    reader.expect(false, 0);
    reader.feed(QByteArray("+O"));
    EXPECT_TRUE(reader.hasBufferedBytes());
    EXPECT_FALSE(reader.hasReply());
    reader.feed(QByteArray("K\r\n"));
    EXPECT_TRUE(reader.hasReply());
    EXPECT_FALSE(reader.hasBufferedBytes());
}

} // namespace
