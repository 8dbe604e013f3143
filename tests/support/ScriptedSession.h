#pragma once

#include "mail/Pop3Client.h"
#include "tests/support/TestServers.h"

// A scripted server and a client set up to log in to it.
struct ScriptedSession
{
    ScriptedServer server;
    Pop3Client client;
    explicit ScriptedSession(const QStringList &options, int timeout = 2) : server(options)
    {
        client.HostName = server.host();
        client.UserName = QStringLiteral("tester");
        client.Password = QStringLiteral("secret");
        client.Timeout = timeout;
    }
    // Reads every message as the flows do: the subjects, or "error" for a failure.
    QStringList readAll()
    {
        QStringList subjects;
        for (qsizetype i = 1; i <= client.MsgCount(); ++i) {
            client.SetCurrentMsg(i);
            subjects << (client.ResultCode() == 0 ? client.MsgSubject() : QStringLiteral("error"));
        }
        return subjects;
    }
};
