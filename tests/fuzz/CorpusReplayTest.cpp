// Runs every saved input of every fuzz target (the seeds and the inputs that
// once found a fault) through the target, in the ordinary test build.
#include "tests/fuzz/FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

void replay(const char *target, void (*run)(const uint8_t *, size_t))
{
    int inputs = 0;
    for (const char *kind : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(PURGELET_FUZZ_DIR "/%1/%2").arg(QLatin1String(kind), QLatin1String(target)));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            SCOPED_TRACE(file.fileName().toStdString());
            run(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 0) << "no saved inputs for " << target;
}

TEST(FuzzInputs, ReplyReader) { replay("reply_reader", fuzz::replyReader); }
TEST(FuzzInputs, HeaderText) { replay("header_text", fuzz::headerText); }
TEST(FuzzInputs, RuleFile) { replay("rule_file", fuzz::ruleFile); }
TEST(FuzzInputs, HostAddress) { replay("host_address", fuzz::hostAddress); }
TEST(FuzzInputs, MessageRecord) { replay("message_record", fuzz::messageRecord); }
TEST(FuzzInputs, OAuth2Replies) { replay("oauth2_replies", fuzz::oauth2Replies); }

} // namespace
