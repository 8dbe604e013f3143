// The POP3 reply reader: whatever the server sends, in whatever pieces, the
// replies come out the same and memory stays within the limits.
#include "mail/Pop3ReplyReader.h"
#include "tests/fuzz/FuzzTargets.h"

#include <vector>

namespace {

struct Outcome
{
    std::vector<Pop3Reply> replies;
    bool outOfStep = false;
};

bool sameReply(const Pop3Reply &a, const Pop3Reply &b)
{
    return a.ok == b.ok && a.status == b.status && a.lines == b.lines && a.truncated == b.truncated && a.problem == b.problem;
}

} // namespace

void fuzz::replyReader(const uint8_t *data, size_t size)
{
    // First byte: how many replies are awaited and of which kind; second: the
    // body limit; third: where the stream is cut into pieces.
    if (size < 3)
        return;
    const int awaited = 1 + data[0] % 8;
    const qsizetype keep = qsizetype(data[1]) * 64;
    const size_t step = 1 + data[2] % 17;
    const char *stream = reinterpret_cast<const char *>(data + 3);
    const qsizetype length = qsizetype(size - 3);

    auto run = [&](bool pieces) {
        Pop3ReplyReader reader;
        for (int i = 0; i < awaited; ++i)
            reader.expect((data[0] >> (i % 8)) & 1, keep);
        Outcome out;
        auto drain = [&] {
            while (reader.hasReply())
                out.replies.push_back(reader.takeReply());
        };
        if (pieces) {
            for (qsizetype at = 0; at < length; at += qsizetype(step)) {
                reader.feed(stream + at, std::min<qsizetype>(qsizetype(step), length - at));
                drain();
            }
        } else {
            reader.feed(stream, length);
            drain();
        }
        out.outOfStep = reader.outOfStep();
        return out;
    };

    const Outcome whole = run(false);
    const Outcome split = run(true);
    FUZZ_CHECK(whole.replies.size() <= size_t(awaited));
    FUZZ_CHECK(whole.replies.size() == split.replies.size());
    FUZZ_CHECK(whole.outOfStep == split.outOfStep);
    for (size_t i = 0; i < whole.replies.size(); ++i) {
        FUZZ_CHECK(sameReply(whole.replies[i], split.replies[i]));
        const Pop3Reply &r = whole.replies[i];
        FUZZ_CHECK(r.status.size() < Pop3ReplyReader::MaxStatusLine);
        qsizetype kept = 0;
        for (const QByteArray &line : r.lines) {
            FUZZ_CHECK(line.size() <= Pop3ReplyReader::MaxBodyLine);
            FUZZ_CHECK(!line.contains('\n'));
            kept += line.size() + 2;
        }
        FUZZ_CHECK(kept <= keep + Pop3ReplyReader::MaxBodyLine + 2);
    }
}
