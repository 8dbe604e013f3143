#include "app/EmailPreview.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

template <typename T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST(Window, InitialState)
{
    EmailPreview w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Purgelet - With E-mail Preview"));
    EXPECT_EQ(child<QLabel>(w, "labversion")->text(), QStringLiteral("Version 1.0.106"));
    EXPECT_EQ(child<QLabel>(w, "LabStatus")->text(), QStringLiteral("Not Connected"));
    EXPECT_EQ(child<QLabel>(w, "LabTitle")->text(), QStringLiteral("Total Messages"));
    EXPECT_EQ(child<QTableView>(w, "EmailList")->model()->rowCount(), 0);
    EXPECT_EQ(child<QLabel>(w, "LabChecked")->text(), QStringLiteral("0 of 0 checked"));
    EXPECT_EQ(w.records().count(), 0);
    EXPECT_EQ(child<QPlainTextEdit>(w, "HeaderBox")->toPlainText(), QStringLiteral("Message Header Preview\n"));
    EXPECT_EQ(child<QLineEdit>(w, "Txthostname")->text(), QLatin1String(EmailPreview::PresetHost));
    EXPECT_TRUE(child<QLineEdit>(w, "Txtusername")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(w, "Txtpassword")->text().isEmpty());
    EXPECT_EQ(child<QLineEdit>(w, "Txtpassword")->echoMode(), QLineEdit::Password);
    for (const char *name : {"cmdcheck", "CmdFilters", "CmdViewReadme", "CmdExit"})
        EXPECT_TRUE(child<QPushButton>(w, name)->isEnabled()) << name;
    for (const char *name : {"CmdUpdate", "CmdDeleteOnSvr"})
        EXPECT_FALSE(child<QPushButton>(w, name)->isEnabled()) << name;
    EXPECT_EQ(QApplication::focusWidget(), child<QLineEdit>(w, "Txtpassword"));
}

TEST(Window, CaptionsAndLayoutInPixels)
{
    EmailPreview w;
    EXPECT_EQ(w.size(), QSize(553, 376));
    EXPECT_EQ(w.minimumSize(), w.size()) << "the window may grow, not shrink below its layout";
    const struct { const char *name; const char *caption; QRect geometry; } controls[] = {
        {"lab_hostname", "Hostname", {16, 16, 49, 17}},
        {"Label1", "Username", {16, 40, 49, 17}},
        {"Label2", "Password", {16, 64, 49, 17}},
        {"cmdcheck", "Check Mails", {248, 16, 97, 25}},
        {"Label3", "Purgelet", {360, 8, 185, 33}},
        {"Label5", "Comments to", {360, 80, 65, 17}},
        {"CmdOAuth2", "OAuth2 Sign-in...", {416, 100, 129, 28}},
        {"CmdUpdate", "Update From Server", {416, 136, 129, 33}},
        {"CmdDeleteOnSvr", "Delete Now on Server", {416, 184, 129, 33}},
        {"CmdFilters", "Create Filters", {416, 232, 129, 33}},
        {"CmdViewReadme", "View Readme", {416, 280, 129, 33}},
        {"CmdExit", "Exit", {416, 328, 129, 33}},
        {"CmdCheckShown", "Check Shown", {203, 227, 96, 20}},
        {"CmdUncheckShown", "Uncheck Shown", {302, 227, 99, 20}},
        {"CmdStop", "Stop", {337, 227, 64, 20}},
    };
    for (const auto &c : controls) {
        QWidget *widget = child<QWidget>(w, c.name);
        EXPECT_EQ(widget->geometry(), c.geometry) << c.name;
        const QString text = widget->property("text").toString();
        EXPECT_EQ(text, QLatin1String(c.caption)) << c.name;
    }
    EXPECT_EQ(child<QWidget>(w, "EmailList")->geometry(), QRect(16, 128, 385, 98));
    EXPECT_EQ(child<QWidget>(w, "HeaderBox")->geometry(), QRect(16, 248, 385, 121));
    EXPECT_EQ(child<QWidget>(w, "TxtSearch")->geometry(), QRect(16, 227, 184, 20));

    // Grown, the list and the preview take the room; the buttons keep to the
    // right edge, the row under the list to the list.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.resize(953, 676);
    QTRY_COMPARE(child<QWidget>(w, "EmailList")->geometry(), QRect(16, 128, 785, 298));
    EXPECT_EQ(child<QWidget>(w, "HeaderBox")->geometry(), QRect(16, 448, 785, 221));
    EXPECT_EQ(child<QWidget>(w, "TxtSearch")->geometry(), QRect(16, 427, 584, 20));
    EXPECT_EQ(child<QWidget>(w, "CmdUncheckShown")->geometry(), QRect(702, 427, 99, 20));
    EXPECT_EQ(child<QWidget>(w, "CmdExit")->geometry(), QRect(816, 328, 129, 33));
    EXPECT_EQ(child<QWidget>(w, "Txthostname")->geometry().topLeft(), QPoint(80, 16));
    w.resize(w.minimumSize());
    QTRY_COMPARE(child<QWidget>(w, "EmailList")->geometry(), QRect(16, 128, 385, 98));
    EXPECT_EQ(child<QLabel>(w, "LabEmail")->text(), QLatin1String(EmailPreview::ContactAddress));
    EXPECT_EQ(child<QLabel>(w, "LabURL")->text(), QLatin1String(EmailPreview::WebAddress));
    EXPECT_EQ(child<QLabel>(w, "LabStatus")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(child<QLabel>(w, "LabTitle")->palette().color(QPalette::Window), QColor(192, 192, 255));
    auto *list = child<QTableView>(w, "EmailList");
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0, 128, 0));
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_TRUE(list->font().bold());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    auto *box = child<QPlainTextEdit>(w, "HeaderBox");
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
}

TEST(Window, TabOrderStartsAtThePassword)
{
    EmailPreview w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // The tests have no secret store: "Remember password" is disabled, says
    // why, and the keyboard passes it by.
    auto *remember = w.findChild<QCheckBox *>(QStringLiteral("ChkRememberPassword"));
    QTRY_VERIFY(!remember->isEnabled());
    EXPECT_TRUE(remember->toolTip().contains(QStringLiteral("No secret store"))) << qPrintable(remember->toolTip());
    QStringList visited;
    for (int i = 0; i < 11; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Disabled buttons (Update, Delete) are skipped; labels never take focus.
    EXPECT_EQ(visited, (QStringList{"Txtpassword", "Txtusername", "Txthostname", "cmdcheck", "CmdOAuth2", "EmailList",
                                    "TxtSearch", "CmdCheckShown", "CmdUncheckShown", "CmdFilters", "HeaderBox"}));
}

TEST(Window, PasswordShowsOneStarPerCharacter)
{
    EmailPreview w;
    w.show();
    auto *password = child<QLineEdit>(w, "Txtpassword");
    QTest::keyClicks(password, QStringLiteral("abc"));
    EXPECT_EQ(password->text(), QStringLiteral("abc"));
    EXPECT_EQ(password->displayText(), QStringLiteral("***"));
}

TEST(Window, ExitClosesWithoutContactingAServer)
{
    EmailPreview w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(child<QPushButton>(w, "CmdExit"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.mailClient().IsConnected());
}

// Every caption fits its control with the fonts at hand, at any scale (the
// suite runs this test again at 150% and 200%), and every control has a
// name for screen readers.
TEST(Window, CaptionsFitAndControlsHaveAccessibleNames)
{
    EmailPreview w;
    w.show();
    for (QLabel *l : w.findChildren<QLabel *>()) {
        if (!l->text().isEmpty()) {
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << qPrintable(l->objectName());
        }
        EXPECT_FALSE(l->accessibleName().isEmpty()) << qPrintable(l->objectName());
    }
    for (QPushButton *b : w.findChildren<QPushButton *>()) {
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), b->width() - 8) << qPrintable(b->objectName());
        EXPECT_EQ(b->accessibleName(), b->text());
    }
    // A check box needs room for its box and the gap beside its caption too.
    for (QCheckBox *b : w.findChildren<QCheckBox *>()) {
        EXPECT_LE(b->sizeHint().width(), b->width()) << qPrintable(b->objectName());
        EXPECT_LE(b->sizeHint().height(), b->height()) << qPrintable(b->objectName());
        EXPECT_FALSE(b->accessibleName().isEmpty()) << qPrintable(b->objectName());
    }
    for (QWidget *c : std::initializer_list<QWidget *>{w.findChild<QLineEdit *>(QStringLiteral("Txthostname")),
                                                       w.findChild<QLineEdit *>(QStringLiteral("Txtusername")),
                                                       w.findChild<QLineEdit *>(QStringLiteral("Txtpassword")),
                                                       w.findChild<QTableView *>(QStringLiteral("EmailList")),
                                                       w.findChild<QLineEdit *>(QStringLiteral("TxtSearch")),
                                                       w.findChild<QPlainTextEdit *>(QStringLiteral("HeaderBox"))})
        EXPECT_FALSE(c->accessibleName().isEmpty()) << qPrintable(c->objectName());

    // A long status text is shrunk to fit and kept whole in the tool tip.
    const QString longText = QStringLiteral("No rules applied: filters.txt has no [rfstart] line, see the read-me");
    w.setStatus(longText);
    auto *status = w.findChild<QLabel *>(QStringLiteral("LabStatus"));
    EXPECT_LE(status->fontMetrics().horizontalAdvance(longText), status->width());
    EXPECT_EQ(status->toolTip(), longText);
}

} // namespace
