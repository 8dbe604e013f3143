#include "mail/Pop3ReplyReader.h"

#include <cstring>

void Pop3ReplyReader::expect(bool multiLine, qsizetype keepBytes, bool saslStep)
{
    m_expected.push_back({multiLine, keepBytes, saslStep});
}

Pop3Reply Pop3ReplyReader::takeReply()
{
    Pop3Reply reply = std::move(m_done.front());
    m_done.pop_front();
    return reply;
}

void Pop3ReplyReader::feed(const char *data, qsizetype size)
{
    while (size > 0 && !m_outOfStep) {
        const char *lf = static_cast<const char *>(std::memchr(data, '\n', size_t(size)));
        const qsizetype take = lf ? qsizetype(lf - data) : size;
        const qsizetype limit = m_inBody ? MaxBodyLine : MaxStatusLine;
        if (lf && m_line.isEmpty() && !m_lineOverflow && take <= limit) {
            // A whole line in this piece, the common case: taken as it stands.
            QByteArray line(data, take > 0 && data[take - 1] == '\r' ? take - 1 : take);
            handleLine(line, false);
            data += take + 1;
            size -= take + 1;
            continue;
        }
        const qsizetype room = limit - m_line.size();
        if (take > room) {
            if (room > 0)
                m_line.append(data, room);
            m_lineOverflow = true;
        } else {
            m_line.append(data, take);
        }
        if (!lf)
            return;
        if (m_line.endsWith('\r'))
            m_line.chop(1);
        handleLine(m_line, m_lineOverflow);
        m_line.clear();
        m_lineOverflow = false;
        data += take + 1;
        size -= take + 1;
    }
}

void Pop3ReplyReader::handleLine(QByteArray &line, bool overflow)
{
    if (m_inBody) {
        if (line == ".") {
            finish();
            return;
        }
        if (line.startsWith('.'))
            line.remove(0, 1);
        if (overflow)
            m_current.truncated = true;
        if (m_kept + line.size() > m_expected.front().keepBytes) {
            m_current.truncated = true;
            return;
        }
        m_kept += line.size() + 2;
        m_current.lines.append(line);
        return;
    }

    if (m_expected.empty()) {
        m_outOfStep = true;
        return;
    }
    m_current = Pop3Reply();
    m_kept = 0;
    const bool ok = line == "+OK" || line.startsWith("+OK ");
    const bool err = line == "-ERR" || line.startsWith("-ERR");
    if (ok)
        m_current.status = line.mid(4);
    else if (err)
        m_current.status = line.mid(line.startsWith("-ERR ") ? 5 : 4);
    m_current.ok = ok;
    if (overflow) {
        m_current.problem = Pop3Reply::Problem::StatusTooLong;
        m_current.ok = false;
    }
    if (!ok && !err && !overflow && m_expected.front().saslStep && (line == "+" || line.startsWith("+ "))) {
        m_current.continuation = true;
        m_current.status = line.mid(2);
        finish();
        return;
    }
    if (!ok && !err && !overflow) {
        // Neither +OK nor -ERR: there is no telling where this reply ends.
        m_current.problem = Pop3Reply::Problem::Malformed;
        m_outOfStep = true;
        finish();
        return;
    }
    // An over-long "+OK" to a multi-line command still has its body to consume.
    if (ok && m_expected.front().multiLine) {
        m_inBody = true;
        return;
    }
    finish();
}

void Pop3ReplyReader::finish()
{
    m_inBody = false;
    m_expected.pop_front();
    m_done.push_back(std::move(m_current));
    m_current = Pop3Reply();
}
