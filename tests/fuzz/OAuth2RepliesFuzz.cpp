// What an OAuth2 server may send: a SASL refusal challenge (base64 JSON) and a
// token endpoint's answer. Neither may yield a token that could break a
// command line, nor text for the user with control characters in it.
#include "mail/OAuth2Sasl.h"
#include "mail/OAuth2Tokens.h"
#include "tests/fuzz/FuzzTargets.h"

#include <algorithm>

namespace {
bool displayable(const QString &text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}
bool commandSafe(const QString &token)
{
    return std::all_of(token.begin(), token.end(), [](QChar c) { return c > u' ' && c < QChar(127); });
}
} // namespace

void fuzz::oauth2Replies(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    const QByteArray body(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    // The first byte picks the parser; the second the HTTP status of a token answer.
    if (data[0] & 1) {
        for (const QByteArray &challenge : {body, body.toBase64()}) {
            const TokenRefusal refusal = parseTokenRefusal(challenge);
            FUZZ_CHECK(!refusal.readable || !refusal.status.isEmpty());
            FUZZ_CHECK(displayable(describeTokenRefusal(refusal)));
        }
        return;
    }
    static const int statuses[] = {200, 400, 401, 403, 500, 503, 0, 302};
    const TokenReply reply = parseTokenReply(statuses[data[1] % 8], body);
    FUZZ_CHECK(displayable(reply.error) && displayable(reply.description));
    if (reply.outcome == TokenReply::Outcome::Granted) {
        FUZZ_CHECK(!reply.accessToken.isEmpty() && commandSafe(reply.accessToken));
        FUZZ_CHECK(reply.refreshToken.isEmpty() || commandSafe(reply.refreshToken));
        FUZZ_CHECK(reply.expiresIn >= 0);
    } else {
        FUZZ_CHECK(reply.accessToken.isEmpty());
    }
}
