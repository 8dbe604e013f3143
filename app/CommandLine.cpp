#include "app/CommandLine.h"

#include "app/ApplicationFolder.h"
#include "app/CommandLineSignIn.h"
#include "app/CommandLineView.h"
#include "app/RememberedLogIn.h"
#include "mail/MailboxFlows.h"
#include "mail/Pop3Client.h"
#include "messages/TextDecoding.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace CommandLine {
namespace {

void say(FILE *to, const QString &text)
{
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

// The width to cut lines to: the terminal's, or none when output goes elsewhere.
int terminalColumns()
{
    if (!isatty(STDOUT_FILENO))
        return 0;
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

std::optional<QString> passwordFromSecretStore(const QString &host, const QString &user)
{
    RememberedLogIn store;
    QEventLoop loop;
    std::optional<QString> found;
    QObject::connect(&store, &RememberedLogIn::passwordFound, &loop, [&](const QString &password) {
        found = password;
        loop.quit();
    });
    QObject::connect(&store, &RememberedLogIn::passwordNotFound, &loop, &QEventLoop::quit);
    QObject::connect(&store, &RememberedLogIn::secretStoreMissing, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);  // a store that never answers
    store.lookUpPassword(host, user);
    loop.exec();
    return found;
}

std::optional<QString> passwordFromCommand(const QString &command)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        printError(QStringLiteral("The password command failed (%1), so no password was sent.")
                 .arg(process.error() == QProcess::Timedout ? QStringLiteral("it ran for more than a minute")
                                                            : QStringLiteral("exit code %1").arg(process.exitCode())));
        process.kill();
        return std::nullopt;
    }
    const QByteArray output = process.readAllStandardOutput();
    return QString::fromUtf8(output.left(output.indexOf('\n') < 0 ? output.size() : output.indexOf('\n'))).remove(u'\r');
}

std::optional<QString> passwordFromTerminal(const QString &host, const QString &user)
{
    std::fprintf(stderr, "Password for %s at %s: ", user.toUtf8().constData(), host.toUtf8().constData());
    std::fflush(stderr);
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
    }
    std::string line;
    const bool got = bool(std::getline(std::cin, line));
    if (quiet)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    if (!got)
        return std::nullopt;
    return QString::fromStdString(line);
}

// The secret store (where the window remembered it), else the command, else
// the terminal; never the command line itself.
std::optional<QString> obtainPassword(const QString &host, const QString &user, const QString &command)
{
    if (std::optional<QString> stored = passwordFromSecretStore(host, user))
        return stored;
    if (!command.isEmpty())
        return passwordFromCommand(command);
    if (isatty(STDIN_FILENO))
        return passwordFromTerminal(host, user);
    printError(QStringLiteral("No password for %1 at %2: the window has not remembered one in the secret store, no "
                        "--password-command was given, and standard input is no terminal to ask on.").arg(user, host));
    return std::nullopt;
}

struct Listed
{
    qsizetype number;
    MessageRecord record;
};

// Each record with its message number: known by its unique-id when the
// listing gave unique ones, else by its place.
QList<Listed> listedMessages(RecordStore &records, const Pop3Client &client)
{
    QHash<QString, qsizetype> numbers;
    for (qsizetype n = 1; n <= client.MsgCount(); ++n)
        if (const QString uid = client.UniqueIdOf(n); !uid.isEmpty())
            numbers[uid] = numbers.contains(uid) ? -1 : n;
    QList<Listed> out;
    for (qsizetype k = 0; k < records.count(); ++k) {
        const MessageRecord r = records.read(k);
        const qsizetype byUid = numbers.value(r.extraA, -1);
        out.append({byUid > 0 ? byUid : k + 1, r});
    }
    return out;
}

void printText(const QList<Listed> &messages)
{
    const int width = terminalColumns();
    for (const Listed &m : messages) {
        QString line = QStringLiteral("%1 %2  %3  %4  %5 | %6")
                           .arg(m.number, 5)
                           .arg(m.record.size, 9)
                           .arg(m.record.isMarked() ? QStringLiteral("DELETE") : QStringLiteral("keep  "))
                           .arg(m.record.rule.isEmpty() ? QStringLiteral("-") : m.record.rule,
                                blankControls(m.record.from), blankControls(m.record.subject));
        if (width > 0 && line.size() > width)
            line.truncate(width);
        say(stdout, line);
    }
}

void printJson(const QList<Listed> &messages)
{
    QJsonArray array;
    for (const Listed &m : messages)
        array.append(QJsonObject{{QStringLiteral("number"), double(m.number)},
                                 {QStringLiteral("uid"), m.record.extraA},
                                 {QStringLiteral("size"), m.record.size.toDouble()},
                                 {QStringLiteral("marked"), m.record.isMarked()},
                                 {QStringLiteral("rule"), m.record.rule.isEmpty() ? QJsonValue() : QJsonValue(m.record.rule)},
                                 {QStringLiteral("from"), m.record.from},
                                 {QStringLiteral("subject"), m.record.subject},
                                 {QStringLiteral("date"), m.record.date}});
    std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}

} // namespace

bool wanted(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--") || arg == "-l" || arg == "-h" || arg == "-v" || arg == "-?")
            return true;
    }
    return false;
}

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks a POP3 mailbox against the rule file without a window, reading only the headers, and "
                       "with --delete deletes the messages a rule marks.\n\nExit status: 0 done, 1 log-in or "
                       "connection failure, 2 rule file missing or unusable (nothing deleted), 3 bad command line."));
    const QCommandLineOption list({QStringLiteral("l"), QStringLiteral("list")},
                                  QStringLiteral("List every message: number, size, DELETE or keep, the rule, From, Subject."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the list as one JSON array instead."));
    const QCommandLineOption remove(QStringLiteral("delete"), QStringLiteral("Then delete every message a rule marked."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QStringLiteral("Say what --delete would delete; delete nothing (also with --delete)."));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("The server, as in the window (default: the last one that logged in)."), QStringLiteral("server"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The user name (default: the last one that logged in)."), QStringLiteral("name"));
    const QCommandLineOption command(QStringLiteral("password-command"),
                                     QStringLiteral("Run CMD and use the first line of its output as the password, when the secret store has none."),
                                     QStringLiteral("CMD"));
    const QCommandLineOption rules(QStringLiteral("rules"), QStringLiteral("Another rule file (default: the window's)."), QStringLiteral("file"));
    const QCommandLineOption trust(QStringLiteral("trust-fingerprint"),
                                   QStringLiteral("Accept exactly the certificate with this SHA-256 fingerprint, for this run."),
                                   QStringLiteral("SHA256"));
    const QCommandLineOption oauth2(QStringLiteral("oauth2"),
                                    QStringLiteral("Log in with the account's OAuth2 sign-in (made with --sign-in or in the window)."));
    const QCommandLineOption signIn(QStringLiteral("sign-in"),
                                    QStringLiteral("Sign the account in with OAuth2 and keep the sign-in in the secret store "
                                                   "(with --provider, --client-id; --host defaults to the provider's server)."));
    const QCommandLineOption signOut(QStringLiteral("sign-out"), QStringLiteral("Forget the account's OAuth2 sign-in."));
    parser.addOptions({list, json, remove, dryRun, host, user, command, rules, trust, oauth2, signIn, signOut});
    CommandLineSignIn::addOptions(parser);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(arguments)) {
        printError(parser.errorText() + QStringLiteral(" (see purgelet --help)"));
        return BadCommandLine;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return Done;
    }
    if (parser.isSet(version)) {
        say(stdout, QStringLiteral("purgelet %1").arg(QCoreApplication::applicationVersion()));
        return Done;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("Unexpected argument \"%1\"; a password never goes on the command line (see purgelet --help).")
                 .arg(parser.positionalArguments().first()));
        return BadCommandLine;
    }
    const QByteArray fingerprint = parser.isSet(trust) ? normalizedFingerprint(parser.value(trust)) : QByteArray();
    if (parser.isSet(trust) && fingerprint.isEmpty()) {
        printError(QStringLiteral("--trust-fingerprint needs a SHA-256 fingerprint: 64 hex digits, colons allowed."));
        return BadCommandLine;
    }
    std::optional<OAuth2Account> signingIn;
    if (parser.isSet(signIn)) {
        QString why;
        if (!(signingIn = CommandLineSignIn::accountFromOptions(parser, &why))) {
            printError(why);
            return BadCommandLine;
        }
    }
    const RememberedLogIn remembered;
    const QString server = parser.isSet(host) ? parser.value(host)
                           : signingIn && !signingIn->defaultHost().isEmpty() ? signingIn->defaultHost()
                                                                              : remembered.host();
    const QString name = parser.isSet(user) ? parser.value(user) : remembered.user();
    if (server.trimmed().isEmpty() || name.isEmpty()) {
        printError(QStringLiteral("No server or user name: give --host and --user (the window's last log-in is used when there is one)."));
        return BadCommandLine;
    }
    if (signingIn)
        return CommandLineSignIn::signIn(server.trimmed(), name, *signingIn);
    if (parser.isSet(signOut))
        return CommandLineSignIn::signOut(server.trimmed(), name);
    Pop3Client client;
    std::optional<QString> password;
    if (parser.isSet(oauth2)) {
        if (!CommandLineSignIn::useKeptSignIn(client, server.trimmed(), name))
            return NoSession;
        password = QString();
    } else {
        password = obtainPassword(server.trimmed(), name, parser.value(command));
    }
    if (!password)
        return NoSession;

    const QString ruleFile = parser.isSet(rules) ? parser.value(rules) : ruleFilePath();
    CommandLineView view({server, name, *password, ruleFile, fingerprint});
    client.certificateTrust().useFile(trustedCertificatesFile());
    MailboxFlows flows(view, client);
    flows.checkMails();
    if (!view.loggedInOnce())
        return NoSession;
    if (!view.rules().usable()) {
        printError(ruleProblemText(view.rules(), ruleFile) +
             QStringLiteral("; nothing was deleted."));
        return RulesUnusable;
    }
    const QList<Listed> messages = listedMessages(view.records(), client);
    parser.isSet(json) ? printJson(messages) : printText(messages);

    qsizetype marked = 0;
    for (const Listed &m : messages)
        marked += m.record.isMarked();
    FILE *summary = parser.isSet(json) ? stderr : stdout;
    if (parser.isSet(dryRun)) {
        say(summary, QStringLiteral("--dry-run: --delete would delete %1 of %2 messages.").arg(marked).arg(messages.size()));
        return Done;
    }
    if (!parser.isSet(remove))
        return Done;
    if (marked == 0) {
        say(summary, QStringLiteral("Nothing to delete."));
        return Done;
    }
    view.forgetErrors();
    flows.deleteOnServer();
    say(summary, view.status());
    return view.loggedInOnce() && view.errorTitles().isEmpty() ? Done : NoSession;
}

} // namespace CommandLine
