#include "filter/RuleLine.h"
#include "filter/RuleMatcher.h"
#include "filter/WholeNumber.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

TEST(WholeNumber, DecimalTextWithBlanksAndHalfToEvenRounding)
{
    const struct { const char *text; std::optional<qint64> value; } cases[] = {
        {"800", 800}, {"  801  ", 801}, {"+5", 5}, {"-3", -3}, {"0", 0}, {"007", 7},
        {"32768", 32768}, {"70000", 70000}, {"9223372036854775807", INT64_C(9223372036854775807)},
        {"0.5", 0}, {"1.5", 2}, {"2.5", 2}, {"3.5", 4}, {"2.51", 3}, {"2.4999", 2}, {"2.50000", 2},
        {"-0.5", 0}, {"-1.5", -2}, {"-2.5", -2}, {".5", 0}, {"7.", 7},
        {"", std::nullopt}, {"   ", std::nullopt}, {"abc", std::nullopt}, {"12a", std::nullopt},
        {"70,000", std::nullopt}, {"1 000", std::nullopt}, {"\t5", std::nullopt}, {".", std::nullopt},
        {"-", std::nullopt}, {"1e3", std::nullopt}, {"9223372036854775808", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"9223372036854775807.5", std::nullopt}, // rounds beyond 64 bits
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseWholeNumber(QString::fromLatin1(c.text)), c.value) << c.text;
}

struct Message { const char *from; const char *subject; const char *size; };

bool matches(const QList<RuleCondition> &rules, const Message &m)
{
    return RuleMatcher(rules).matches(QString::fromUtf8(m.from), QString::fromUtf8(m.subject), QString::fromUtf8(m.size));
}

TEST(RuleMatcher, EachConditionTest)
{
    using K = RuleKey;
    const struct { K key; const char *value; Message message; bool holds; } cases[] = {
        {K::SizeGreaterThan, "800", {"a", "b", "800"}, false},
        {K::SizeGreaterThan, "800", {"a", "b", "801"}, true},
        {K::SizeGreaterThan, " 800 ", {"a", "b", "801"}, true},
        {K::SizeGreaterThan, "32767", {"a", "b", "32768"}, true},
        {K::SizeGreaterThan, "50000", {"a", "b", "70000"}, true},
        {K::SizeGreaterThan, "70000", {"a", "b", "70000"}, false},
        {K::SizeGreaterThan, "800.5", {"a", "b", "801"}, true},  // 800.5 rounds to the even 800
        {K::SizeGreaterThan, "801.5", {"a", "b", "802"}, false}, // 801.5 rounds to the even 802
        {K::SizeGreaterThan, "799.5", {"a", "b", "800"}, false}, // 799.5 rounds to 800
        {K::SizeGreaterThan, "", {"a", "b", "801"}, false},
        {K::SizeGreaterThan, "big", {"a", "b", "801"}, false},
        {K::SizeGreaterThan, "800", {"a", "b", ""}, false},
        {K::SizeGreaterThan, "-1", {"a", "b", "0"}, true},
        {K::SubjectIs, "hello", {"a", "Hello", "1"}, true},
        {K::SubjectIs, "hello", {"a", "HELLO", "1"}, true},
        {K::SubjectIs, "hello", {"a", "Hello ", "1"}, false},
        {K::SubjectIs, "hello", {"a", "hello world", "1"}, false},
        {K::SubjectIs, "", {"a", "", "1"}, true},
        {K::SubjectIs, "", {"a", "x", "1"}, false},
        {K::SubjectIs, " hello", {"a", "hello", "1"}, false},
        {K::SubjectContains, "OFFER", {"a", "Special offer inside", "1"}, true},
        {K::SubjectContains, "offer", {"a", "Special OFFER", "1"}, true},
        {K::SubjectContains, "", {"a", "x", "1"}, true},
        {K::SubjectContains, "", {"a", "", "1"}, false},
        {K::SubjectContains, "offer", {"offer@x", "nothing", "1"}, false}, // tests the subject only
        {K::SubjectContains, "ÉTÉ", {"a", "Soldes d'été", "1"}, true},
        {K::SubjectContains, "grüße", {"a", "GRÜSSE", "1"}, false}, // lower-casing, not case folding
        {K::SubjectContains, "grüße", {"a", "GRÜßE aus Köln", "1"}, true},
        {K::SubjectContains, "ПРИЗ", {"a", "Ваш приз ждёт", "1"}, true},
        {K::FromIs, "sales", {"Sales", "x", "1"}, true},
        {K::FromIs, "sales", {" sales", "x", "1"}, false},
        {K::FromIs, "", {"", "x", "1"}, true},
        {K::FromIs, "", {"a", "", "1"}, false},
        {K::FromContains, "PROMO", {"Big Promo <promo@shop.example>", "x", "1"}, true},
        {K::FromContains, "müller", {"Jürgen MÜLLER", "x", "1"}, true},
        {K::FromContains, "promo", {"a", "promo", "1"}, false}, // tests the sender only
        {K::FromContains, "", {"", "x", "1"}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(matches({{c.key, QString::fromUtf8(c.value)}}, c.message), c.holds)
            << int(c.key) << " '" << c.value << "' on " << c.message.from << " / " << c.message.subject << " / "
            << c.message.size;
}

TEST(RuleMatcher, ConditionsCombineByOrInAnyOrder)
{
    const RuleCondition holds{RuleKey::SubjectContains, QStringLiteral("win")};
    const RuleCondition fails{RuleKey::FromIs, QStringLiteral("nobody")};
    const Message m{"someone", "You WIN", "10"};
    EXPECT_TRUE(matches({holds, fails}, m));
    EXPECT_TRUE(matches({fails, holds}, m));
    EXPECT_FALSE(matches({fails}, m));
    EXPECT_FALSE(matches({}, m));

    // Several size limits: the smallest decides; unparsable ones are skipped.
    const QList<RuleCondition> sizes{{RuleKey::SizeGreaterThan, QStringLiteral("5000")},
                                     {RuleKey::SizeGreaterThan, QStringLiteral("junk")},
                                     {RuleKey::SizeGreaterThan, QStringLiteral("900")}};
    EXPECT_TRUE(matches(sizes, {"a", "b", "901"}));
    EXPECT_FALSE(matches(sizes, {"a", "b", "900"}));

    // Many "is" and "contains" values for one field: any of them is enough.
    QList<RuleCondition> many;
    for (int i = 0; i < 50; ++i) {
        many.append({RuleKey::FromIs, QStringLiteral("sender%1").arg(i)});
        many.append({RuleKey::SubjectContains, QStringLiteral("word%1x").arg(i)});
    }
    EXPECT_TRUE(matches(many, {"SENDER42", "b", "1"}));
    EXPECT_TRUE(matches(many, {"a", "has Word37X in it", "1"}));
    EXPECT_FALSE(matches(many, {"sender50", "word50x", "1"}));
}

TEST(RuleMatcher, NamesTheFirstHoldingConditionInFileOrder)
{
    const QList<RuleCondition> rules{
        {RuleKey::SizeGreaterThan, QStringLiteral("5000")}, {RuleKey::SubjectContains, QStringLiteral("offer")},
        {RuleKey::FromIs, QStringLiteral("deals@shop.example")}, {RuleKey::SubjectContains, QStringLiteral("free")},
        {RuleKey::SubjectContains, QStringLiteral("OFFER")}, {RuleKey::FromContains, QString()},
        {RuleKey::SizeGreaterThan, QStringLiteral("100")}};
    const RuleMatcher matcher(rules);
    const struct { Message message; int expected; } cases[] = {
        {{"deals@shop.example", "Free offer", "6000"}, 0},  // every rule holds: the first
        {{"deals@shop.example", "Free offer", "10"}, 1},
        {{"Deals@Shop.example", "Free gift", "10"}, 2},
        {{"", "Free gift", "10"}, 3},  // the empty "contains" needs a sender
        {{"x", "", "10"}, 5},
        {{"", "", "101"}, 6},  // the later, smaller limit
        {{"", "", "100"}, -1},
    };
    for (const auto &c : cases) {
        const std::optional<RuleCondition> hit = matcher.firstHolding(
            QString::fromUtf8(c.message.from), QString::fromUtf8(c.message.subject), QString::fromUtf8(c.message.size));
        EXPECT_EQ(hit, c.expected < 0 ? std::nullopt : std::optional(rules.at(c.expected)))
            << c.message.from << " / " << c.message.subject << " / " << c.message.size;
    }
    EXPECT_EQ(conditionText(rules.at(0)), QStringLiteral("msgsizeisgreaterthan=5000"));
    EXPECT_EQ(conditionText(rules.at(5)), QStringLiteral("msgfromcontains="));
}

// The newer forms, as a rule line, on a message with further headers.
TEST(RuleMatcher, ExpressionsAndHeaderTests)
{
    MessageRecord m;
    m.from = QStringLiteral("Promo Team <deals@mailer.example.ru>");
    m.subject = QStringLiteral("[SPAM] Grüße: 50% off");
    m.extraB = QStringLiteral("<abc@mailer.example.ru>");
    m.headers = {{"x-spam-flag", "YES"}, {"x-spam-score", "7.3 (+++++++)"}, {"to", "list@example.org"},
                 {"received", "from a.example.org by mx"}, {"received", "from evil.example.xyz by a.example.org"},
                 {"reply-to", ""}};
    const struct { const char *line; bool holds; } cases[] = {
        {"msgsubjectmatches=^\\[spam\\]", true},  // letter case ignored
        {"msgsubjectmatches=GRÜSSE", false},
        {"msgsubjectmatches=grüße", true},
        {"msgsubjectmatches=\\d+% off$", true},
        {"msgfrommatches=\\.ru>$", true},
        {"msgfrommatches=^deals", false},
        {"headeris:x-spam-flag=yes", true},
        {"headeris:x-spam-flag=YES ", false},
        {"headercontains:x-spam-flag=", true},  // present and not empty
        {"headercontains:reply-to=", false},    // present, but empty
        {"headerisgreaterthan:x-spam-score=5", true},
        {"headerisgreaterthan:x-spam-score=7.3", false},
        {"headerisgreaterthan:x-spam-score=-1", true},
        {"headerisgreaterthan:x-no-such-score=-1", false},
        {"headerisgreaterthan:to=0", false},  // no number
        {"headermatches:received=\\.xyz\\b", true},  // the second of two
        {"headermatches:received=^from mx", false},
        {"headercontains:to,cc=me@example.org", false},
        {"headerlacks:to,cc=me@example.org", true},
        {"headerlacks:to,cc=LIST@", false},
        {"headerlacks:cc=", true},  // no such header at all
        {"headerlacks:reply-to=", true},
        {"headercontains:message-id=@mailer.example.ru", true},  // the record's own fields
        {"headeris:subject=[spam] grüße: 50% off", true},
        {"headermatches:from=promo team", true},
    };
    for (const auto &c : cases) {
        const ConditionLine read = readConditionLine(QString::fromUtf8(c.line));
        ASSERT_TRUE(read.condition) << c.line << ": " << read.problem.toStdString();
        EXPECT_EQ(RuleMatcher({*read.condition}).judge(m).marked, c.holds) << c.line;
        EXPECT_EQ(conditionText(*read.condition), QString::fromUtf8(c.line)) << c.line;
        // The same rule as a keep rule keeps what it would have marked.
        RuleCondition keep = *read.condition;
        keep.keep = true;
        const RuleMatcher::Verdict kept = RuleMatcher({{RuleKey::FromContains, QString()}, keep}).judge(m);
        EXPECT_TRUE(kept.rule.has_value()) << c.line;
        EXPECT_EQ(kept.marked, !c.holds) << c.line;
        EXPECT_EQ(kept.rule->keep, c.holds) << c.line;
    }
    EXPECT_EQ(headersTestedBy({*readConditionLine(QStringLiteral("headerlacks:to,cc,from=x")).condition,
                               *readConditionLine(QStringLiteral("headeris:x-spam-flag=YES")).condition,
                               *readConditionLine(QStringLiteral("headeris:To=x")).condition}),
              QStringList({"to", "cc", "x-spam-flag"}));
}

} // namespace
