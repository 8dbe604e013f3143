#pragma once

#include "tests/support/QtPrinting.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

// The Dovecot instance started by the "dovecot_start" test; values come from
// the env file the fixture script writes.
struct DovecotFixture
{
    quint16 pop3Port = 0;
    quint16 pop3sPort = 0;
    quint16 oauthPort = 0;     // the authorisation server whose tokens Dovecot accepts
    QString dir;
    QString password;

    // Loads the fixture and trusts its test CA for TLS. Fails the test when
    // the fixture is missing.
    static const DovecotFixture &get();
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(pop3Port); }
    QString maildir(const QString &user) const { return dir + QStringLiteral("/home/") + user + QStringLiteral("/Maildir"); }
    QString log() const;
    QString oauthUrl(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(oauthPort).arg(path); }
    // A test control of the authorisation server ("issue?user=alice", ...):
    // its JSON answer, or {"text": ...} for a plain one.
    QJsonObject oauthAdmin(const QString &request) const;

    // A mailbox of its own for one test, filled with the given messages in
    // order (whole RFC 822 texts); returns the user name, made unique.
    QString addMailbox(const QString &namePrefix, const QList<QByteArray> &messages) const;
    // "From | Subject" of every message left in the user's Maildir, sorted.
    QStringList messagesInMaildir(const QString &user) const;
    // Dovecot's closing line of every session of the user (with its counts of
    // TOP, RETR and DELE), waiting up to 5 s until there are at least atLeast.
    QStringList sessionEnds(const QString &user, int atLeast) const;
};

// A small message with these header values as written.
QByteArray emlMessage(const QByteArray &from, const QByteArray &subject, int bodyLines = 3);

// The scripted POP3 server, run with the given options for the life of the object.
class ScriptedServer
{
public:
    explicit ScriptedServer(const QStringList &options);
    ~ScriptedServer();
    quint16 port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QStringList commands() const; // every command line the server received
    // The same, once the last one received is `last` (a client that has no
    // reason to wait for the answer to QUIT may return before it arrives).
    QStringList commandsEndingWith(const QString &last) const;

private:
    QProcess m_process;
    QString m_logPath;
    quint16 m_port = 0;
};

// A link to a server on loopback that delays every byte by oneWayMs each way,
// as if the server were that far away, for the life of the object.
class DelayedLink
{
public:
    DelayedLink(quint16 targetPort, int oneWayMs);
    ~DelayedLink();
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// Answers every modal message box that opens with OK and records it.
class BoxAnswerer
{
public:
    struct Box { QString title; QString text; bool noIcon; bool okOnly; };
    BoxAnswerer();
    ~BoxAnswerer();
    QList<Box> boxes() const;
    // The button that answers a certificate question.
    const char *certificateButton = "cancelButton";

private:
    struct Private;
    std::unique_ptr<Private> d;
};
