#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <deque>

// One server reply, matched to the command that asked for it.
struct Pop3Reply
{
    enum class Problem { None, StatusTooLong, Malformed };

    bool ok = false;          // status line was "+OK" (alone or followed by a blank)
    QByteArray status;        // the status line without "+OK"/"-ERR" and the blank after it
    QByteArrayList lines;     // body of a multi-line reply, dot-stuffing removed
    bool truncated = false;   // body bigger than the caller wanted kept; rest was read and dropped
    bool continuation = false; // "+ " during AUTH: the server wants the next SASL response; status holds its text
    Problem problem = Problem::None;
};

// Turns the byte stream from a POP3 server into replies. The caller announces
// each reply it waits for (in command order) with expect(); bytes can arrive in
// any pieces. Memory stays bounded whatever the server sends: over-long lines
// are consumed to their end, bodies are kept only up to the caller's limit.
class Pop3ReplyReader
{
public:
    static constexpr qsizetype MaxStatusLine = 512;       // octets, CRLF included (RFC 2449)
    static constexpr qsizetype MaxBodyLine = 64 * 1024;    // longer body lines are cut

    // A SASL step (a line of AUTH) may also be answered with a "+ " continuation.
    void expect(bool multiLine, qsizetype keepBytes, bool saslStep = false);
    void feed(const char *data, qsizetype size);
    void feed(const QByteArray &data) { feed(data.constData(), data.size()); }

    bool hasReply() const { return !m_done.empty(); }
    Pop3Reply takeReply();
    qsizetype awaited() const { return qsizetype(m_expected.size()); }

    // Set when the stream can no longer be matched to commands (unsolicited
    // data, a status line that is neither +OK nor -ERR). Nothing after it is parsed.
    bool outOfStep() const { return m_outOfStep; }
    // True when part of a line is buffered: bytes that no reply has used yet.
    bool hasBufferedBytes() const { return !m_line.isEmpty() || m_lineOverflow; }

private:
    struct Expectation { bool multiLine; qsizetype keepBytes; bool saslStep; };
    void handleLine(QByteArray &line, bool overflow);
    void finish();

    std::deque<Expectation> m_expected;
    std::deque<Pop3Reply> m_done;
    Pop3Reply m_current;
    qsizetype m_kept = 0;
    bool m_inBody = false;
    QByteArray m_line;
    bool m_lineOverflow = false;
    bool m_outOfStep = false;
};
