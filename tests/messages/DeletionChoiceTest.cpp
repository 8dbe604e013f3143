#include "messages/DeletionChoice.h"
#include "messages/RecordStore.h"

#include <gtest/gtest.h>

namespace {

MessageRecord line(const char *uid, const char *from, const char *subject, bool checked, const char *messageId = "<a@x>")
{
    MessageRecord r;
    r.extraA = QLatin1String(uid);
    r.extraB = QLatin1String(messageId);
    r.date = QStringLiteral("Mon, 7 Dec 2026 10:00:00 +0000");
    r.size = QStringLiteral("1200");
    r.from = QLatin1String(from);
    r.subject = QLatin1String(subject);
    r.setVerdict(checked, checked ? QStringLiteral("msgsubjectis=offer") : QString());
    return r;
}

DeletionChoice::Message message(const MessageRecord &r)
{
    return {r.extraA, r.extraB, r.date, r.size, r.from, r.subject};
}

// What the server holds in the deletion session against what the list shows:
// a message goes only when both its identity and its header are a checked
// line's; a checked line no message proved to be its own counts as changed.
TEST(DeletionChoice, OnlyTheProvenMessageOfACheckedLineGoes)
{
    const MessageRecord offer = line("u1", "Deals", "Offer", true);
    const MessageRecord twin = line("u2", "Deals", "Offer", false);
    const MessageRecord bare = line("", "Deals", "Offer", true);  // a server without unique-ids
    const struct {
        const char *name;
        QList<MessageRecord> listed;
        QList<MessageRecord> onServer;
        QList<bool> chosen;
        qsizetype kept;
    } cases[] = {
        {"its own line, checked", {offer, twin}, {offer, twin}, {true, false}, 0},
        {"header changed under the same id", {offer}, {line("u1", "Deals", "Offer!", true)}, {false}, 1},
        {"letter case counts", {offer}, {line("u1", "deals", "Offer", true)}, {false}, 1},
        {"id moved: the checked header under a new id", {offer}, {line("u9", "Deals", "Offer", true)}, {false}, 1},
        {"the unchecked twin under the checked id", {offer, twin}, {line("u1", "Deals", "Offer", false, "<b@x>")},
         {true}, 0},
        {"no ids: Message-ID, Date and size decide", {bare}, {bare, line("", "Deals", "Offer", true, "<new@x>")},
         {true, false}, 0},
        {"no ids: a campaign of identical lines, all checked", {bare, bare, bare}, {bare, bare, bare},
         {true, true, true}, 0},
        {"no ids: identical lines, one unchecked: none can be told apart",
         {bare, bare, line("", "Deals", "Offer", false)}, {bare, bare, bare}, {false, false, false}, 2},
    };
    for (const auto &c : cases) {
        RecordStore store;
        for (const MessageRecord &r : c.listed)
            store.append(r);
        DeletionChoice choice(store);
        QList<bool> chosen;
        for (const MessageRecord &m : c.onServer) {
            const bool go = choice.chosen(message(m));
            EXPECT_TRUE(!go || choice.mayChoose(m.extraA)) << c.name << ": chosen, so it must have been read";
            chosen << go;
        }
        EXPECT_EQ(chosen, c.chosen) << c.name;
        EXPECT_EQ(choice.keptAsChanged(), c.kept) << c.name;
    }
}

// A check changed during the walk counts for the messages not reached yet;
// an unchecked line's message is not even read.
TEST(DeletionChoice, FollowsTheChecksAsTheyAreNow)
{
    RecordStore store;
    store.append(line("u1", "Deals", "Offer", true));
    store.append(line("u2", "Deals", "Offer", true));
    DeletionChoice choice(store);
    EXPECT_TRUE(choice.mayChoose(QStringLiteral("u2")));
    store.rewriteMark(1, false);
    EXPECT_FALSE(choice.mayChoose(QStringLiteral("u2")));
    EXPECT_FALSE(choice.mayChoose(QStringLiteral("never listed")));
    EXPECT_TRUE(choice.mayChoose(QString())) << "without an id the header must be read";
    EXPECT_TRUE(choice.chosen(message(store.read(0))));
    EXPECT_FALSE(choice.chosen(message(line("u2", "Deals", "Offer", true))));
    EXPECT_EQ(choice.keptAsChanged(), 0);
}

} // namespace
