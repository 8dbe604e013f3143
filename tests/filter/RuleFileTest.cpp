#include "filter/RuleFile.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

// Lets failing comparisons print the conditions.
void PrintTo(const RuleCondition &c, std::ostream *out)
{
    *out << (c.keep ? "keep " : "") << int(c.key) << ":" << c.headers.join(u',').toStdString() << "='"
         << c.value.toStdString() << "'";
}

namespace {

using Problem = RuleBlock::Problem;
using Conditions = QList<RuleCondition>;

RuleCondition cond(RuleKey key, const char *value) { return {key, QString::fromUtf8(value)}; }

// A file saved as UTF-16, byte-order mark first.
QByteArray utf16(const char *text, bool littleEndian)
{
    QStringEncoder encoder(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::WriteBom);
    return encoder.encode(QString::fromUtf8(text));
}

TEST(RuleLineTests, EmptyAndComment)
{
    EXPECT_TRUE(IsEmpty(QString()));
    EXPECT_TRUE(IsEmpty(QStringLiteral("")));
    EXPECT_FALSE(IsEmpty(QStringLiteral(" ")));
    EXPECT_FALSE(IsEmpty(QStringLiteral("\t")));
    EXPECT_TRUE(IsComment(QStringLiteral("#")));
    EXPECT_FALSE(IsComment(QString()));
    EXPECT_FALSE(IsComment(QStringLiteral("##")));
    EXPECT_FALSE(IsComment(QStringLiteral("# note")));
    EXPECT_FALSE(IsComment(QStringLiteral(" #")));
}

TEST(RuleLineTests, TrimsSpacesOnly)
{
    EXPECT_EQ(trimSpaces(QStringLiteral("   a b   ")), QStringLiteral("a b"));
    EXPECT_EQ(trimSpaces(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
    EXPECT_EQ(trimSpaces(QStringLiteral("    ")), QString());
}

TEST(RuleFileLines, EndAtCrLfCrOrLf)
{
    const struct { QByteArray bytes; QStringList lines; } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\r\nc", {"a", "b", "c"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitRuleFileLines(c.bytes), c.lines) << c.bytes.toStdString();
}

TEST(RuleFileLines, InvalidUtf8IsReadAsWindows1252AndNothingVanishes)
{
    const QStringList lines = splitRuleFileLines("msgfromis=M\xfcller\r\nmsgsubjectis=caf\xc3\xa9\r\nx\x80\xff");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QString::fromUtf8("msgfromis=Müller"));
    EXPECT_EQ(lines[1], QString::fromUtf8("msgsubjectis=café"));
    EXPECT_EQ(lines[2], QString::fromUtf8("x€ÿ"));
}

TEST(RuleBlockReading, ConditionLines)
{
    using K = RuleKey;
    const struct { const char *name; QByteArray file; Conditions expected; } cases[] = {
        {"all five keys", "[rfstart]\r\n#\r\nmsgsubjectcontains=free offer\r\nmsgfromcontains=promo\r\n"
                          "msgsubjectis=hello\r\nmsgfromis=sales\r\nmsgsizeisgreaterthan=800\r\n[rfend]\r\n",
         {cond(K::SubjectContains, "free offer"), cond(K::FromContains, "promo"), cond(K::SubjectIs, "hello"),
          cond(K::FromIs, "sales"), cond(K::SizeGreaterThan, "800")}},
        {"empty block", "[rfstart]\r\n[rfend]\r\n", {}},
        {"key in capitals, value kept", "[rfstart]\r\nMSGSUBJECTCONTAINS=Offer\r\nMsgFromIs=Sales\r\n[rfend]",
         {cond(K::SubjectContains, "Offer"), cond(K::FromIs, "Sales")}},
        {"blank after = stays", "[rfstart]\r\nmsgfromis= sales\r\n[rfend]", {cond(K::FromIs, " sales")}},
        {"second = cuts the value", "[rfstart]\r\nmsgsubjectcontains=a=b\r\n[rfend]", {cond(K::SubjectContains, "a")}},
        {"empty value", "[rfstart]\r\nmsgfromis=\r\nmsgsubjectcontains=   \r\n[rfend]",
         {cond(K::FromIs, ""), cond(K::SubjectContains, "")}},
        {"line trimmed of spaces", "[rfstart]\r\n   msgfromis=sales   \r\n[rfend]", {cond(K::FromIs, "sales")}},
        {"tab line skipped, tabs in a value kept", "[rfstart]\r\n\t\t\r\nmsgfromis=a\tb\t\r\n[rfend]",
         {cond(K::FromIs, "a\tb\t")}},
        {"hash lines", "[rfstart]\r\n#\r\n#msgfromis=sales\r\n# msgfromis=sales\r\n[rfend]", {}},
        {"regular expressions take the whole rest of the line",
         "[rfstart]\nMsgSubjectMatches=^\\[SPAM\\] (a|b)=c\nmsgfrommatches=@(x|y)\\.ru$\n[rfend]",
         {cond(K::SubjectMatches, "^\\[SPAM\\] (a|b)=c"), cond(K::FromMatches, "@(x|y)\\.ru$")}},
        {"header rules name their headers, lower-cased",
         "[rfstart]\nheaderis:X-Spam-Flag=YES\nheadercontains:To, Cc=me@example.org\n"
         "headerisgreaterthan:X-Spam-Score=5.5\nheaderlacks:to=\nHeaderMatches:Received=from \\S+\\.ru\n[rfend]",
         {RuleCondition(K::HeaderIs, "YES", {"x-spam-flag"}), RuleCondition(K::HeaderContains, "me@example.org", {"to", "cc"}),
          RuleCondition(K::HeaderGreaterThan, "5.5", {"x-spam-score"}), RuleCondition(K::HeaderLacks, "", {"to"}),
          RuleCondition(K::HeaderMatches, "from \\S+\\.ru", {"received"})}},
        {"keep before any form, the whole rest its value",
         "[rfstart]\nkeep:msgfromcontains=@friends.org\nKEEP:headercontains:list-id=a=b\nmsgfromcontains=@\n[rfend]",
         {RuleCondition(K::FromContains, "@friends.org", {}, true),
          RuleCondition(K::HeaderContains, "a=b", {"list-id"}, true), cond(K::FromContains, "@")}},
        {"before the block and second block ignored",
         "msgfromis=before\r\n[rfstart]\r\nmsgfromis=inside\r\n[rfend]\r\nmsgfromis=after\r\n"
         "[rfstart]\r\nmsgfromis=second\r\n[rfend]\r\n",
         {cond(K::FromIs, "inside")}},
        {"a second [rfstart] inside the block is no condition",
         "[rfstart]\r\n[rfstart]\r\nmsgfromis=a\r\n[rfend]", {cond(K::FromIs, "a")}},
        {"markers found after trimming spaces", "  [rfstart]  \r\nmsgfromis=a\r\n [rfend] \r\n", {cond(K::FromIs, "a")}},
        {"CR-only file", "[rfstart]\rmsgsubjectis=hi\rmsgfromis=x\r[rfend]\r", {cond(K::SubjectIs, "hi"), cond(K::FromIs, "x")}},
        {"LF-only file, as every editor here writes", "[rfstart]\nmsgfromis=a\nmsgsubjectis=b\n[rfend]\n",
         {cond(K::FromIs, "a"), cond(K::SubjectIs, "b")}},
        {"line ends mixed line by line", "[rfstart]\r\nmsgfromis=a\nmsgsubjectis=b\rmsgfromis=c\r\n[rfend]",
         {cond(K::FromIs, "a"), cond(K::SubjectIs, "b"), cond(K::FromIs, "c")}},
        {"UTF-8 byte-order mark", "\xef\xbb\xbf[rfstart]\nmsgsubjectis=gr\xc3\xbc\xc3\x9f\x65\n[rfend]\n",
         {cond(K::SubjectIs, "grüße")}},
        {"UTF-16 little-endian with its mark", utf16("[rfstart]\r\nmsgfromis=ü\n[rfend]", true), {cond(K::FromIs, "ü")}},
        {"UTF-16 big-endian with its mark", utf16("[rfstart]\nmsgfromis=x\n[rfend]", false), {cond(K::FromIs, "x")}},
        {"repeated keys all count", "[rfstart]\r\nmsgfromis=a\r\nmsgfromis=b\r\nmsgfromis=a\r\n[rfend]",
         {cond(K::FromIs, "a"), cond(K::FromIs, "b"), cond(K::FromIs, "a")}},
    };
    for (const auto &c : cases) {
        const RuleBlock block = readRuleBlock(c.file);
        EXPECT_EQ(block.problem, Problem::None) << c.name;
        EXPECT_EQ(block.conditions, c.expected) << c.name;
    }
}

TEST(RuleBlockReading, BrokenFilesGiveNoConditionsAtAll)
{
    const struct { const char *name; QByteArray file; Problem problem; } cases[] = {
        {"empty file", "", Problem::NoBlockStart},
        {"markers in capitals", "[RFSTART]\r\nmsgfromis=a\r\n[RFEND]\r\n", Problem::NoBlockStart},
        {"blank inside the brackets", "[ rfstart ]\r\nmsgfromis=a\r\n[rfend]\r\n", Problem::NoBlockStart},
        {"LF lines without a start", "msgfromis=a\n[rfend]\n", Problem::NoBlockStart},
        {"no end", "[rfstart]\r\nmsgfromis=a\r\nmsgsubjectis=b\r\n", Problem::NoBlockEnd},
        {"end in capitals", "[rfstart]\r\nmsgfromis=a\r\n[RFEND]\r\n", Problem::BadLine},
    };
    for (const auto &c : cases) {
        const RuleBlock block = readRuleBlock(c.file);
        EXPECT_EQ(block.problem, c.problem) << c.name;
        EXPECT_TRUE(block.conditions.isEmpty()) << c.name;
        EXPECT_FALSE(block.usable()) << c.name;
    }
}

TEST(RuleBlockReading, ALineThatIsNoRuleIsNamedAndNothingIsUsed)
{
    const struct { const char *name; QByteArray file; qsizetype line; const char *reason; } cases[] = {
        {"unknown key", "[rfstart]\r\nmsgfromis=a\r\nmsgtois=x\r\n[rfend]", 3, "\"msgtois\" is not a rule"},
        {"blank before =", "\n[rfstart]\nmsgfromis =sales\n[rfend]", 3, "\"msgfromis \" is not a rule"},
        {"tab before the key", "[rfstart]\n\tmsgfromis=x\n[rfend]", 2, "is not a rule"},
        {"no =", "[rfstart]\nmsgfromis\n[rfend]", 2, "has no \"=\""},
        {"nothing before =", "[rfstart]\n=x\n[rfend]", 2, "is not a rule"},
        {"header rule without a header", "[rfstart]\nheaderis=YES\n[rfend]", 2, "needs the header it tests"},
        {"empty header name", "[rfstart]\nheadercontains:to,=x\n[rfend]", 2, "\"\" is not a header name"},
        {"header name with a blank", "[rfstart]\nheadercontains:reply to=x\n[rfend]", 2, "\"reply to\" is not a header name"},
        {"a header on a first form", "[rfstart]\nmsgfromis:to=x\n[rfend]", 2, "tests no header"},
        {"broken regular expression", "[rfstart]\nmsgsubjectmatches=(free\n[rfend]", 2,
         "the regular expression \"(free\" is not valid"},
        {"score that is no number", "[rfstart]\nheaderisgreaterthan:x-spam-score=high\n[rfend]", 2, "\"high\" is not a number"},
        {"size that is no number", "[rfstart]\nmsgsizeisgreaterthan=100KB\n[rfend]", 2, "is not a whole number"},
        {"broken keep rule", "[rfstart]\nmsgfromcontains=@\nkeep:msgfrommatches=[a\n[rfend]", 3, "is not valid"},
    };
    for (const auto &c : cases) {
        const RuleBlock block = readRuleBlock(c.file);
        EXPECT_EQ(block.problem, Problem::BadLine) << c.name;
        EXPECT_TRUE(block.conditions.isEmpty()) << c.name;
        EXPECT_EQ(block.badLine, c.line) << c.name;
        EXPECT_TRUE(block.badLineReason.contains(QString::fromUtf8(c.reason))) << c.name << ": " << block.badLineReason.toStdString();
        const QString text = ruleProblemText(block, QStringLiteral("/home/u/filters.txt"));
        EXPECT_TRUE(text.startsWith(QStringLiteral("No rules applied: filters.txt line %1: ").arg(c.line))) << text.toStdString();
    }
}

TEST(RuleFileReading, MissingUnreadableAndPresentFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("filters.txt"));
    EXPECT_EQ(readRuleFile(path).problem, Problem::FileMissing);

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("filters.txt")));
    EXPECT_EQ(readRuleFile(path).problem, Problem::FileUnreadable);
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("filters.txt")));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[rfstart]\r\nmsgfromis=a\r\n[rfend]\r\n");
    file.close();
    const RuleBlock block = readRuleFile(path);
    EXPECT_TRUE(block.usable());
    EXPECT_EQ(block.conditions, Conditions({cond(RuleKey::FromIs, "a")}));
}

TEST(RuleFileReading, ProblemTextsNameTheFileInPlainWords)
{
    for (Problem p : {Problem::FileMissing, Problem::FileUnreadable, Problem::NoBlockStart, Problem::NoBlockEnd}) {
        const QString text = ruleProblemText({p, {}}, QStringLiteral("/some/folder/filters.txt"));
        EXPECT_TRUE(text.contains(QStringLiteral("filters.txt"))) << int(p);
        // Only a missing file needs the folder searched, and the remedy.
        EXPECT_EQ(text.contains(QStringLiteral("/some/folder")), p == Problem::FileMissing) << int(p);
        EXPECT_EQ(text.contains(QStringLiteral("Create Filters")), p == Problem::FileMissing) << int(p);
    }
    EXPECT_TRUE(ruleProblemText({Problem::NoBlockEnd, {}}, QStringLiteral("filters.txt")).contains(QStringLiteral("[rfend]")));
    EXPECT_TRUE(ruleProblemText({Problem::None, {}}, QStringLiteral("filters.txt")).isEmpty());
}

} // namespace
