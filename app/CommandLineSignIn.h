#pragma once

#include "mail/OAuth2Presets.h"

#include <QString>

#include <optional>

class Pop3Client;
class QCommandLineParser;

// The command line's OAuth2: signing an account in (the device grant where
// the provider allows it for mail, else the browser's way with the address
// printed), signing it out, and logging in with what was kept.
namespace CommandLineSignIn {

// The options, added to the parser.
void addOptions(QCommandLineParser &parser);
// The account the options describe, or none and *error.
std::optional<OAuth2Account> accountFromOptions(const QCommandLineParser &parser, QString *error);

// Signs in and keeps the sign-in; the exit status.
int signIn(const QString &host, const QString &user, const OAuth2Account &account);
int signOut(const QString &host, const QString &user);
// Sets the client up to log in with the account's kept sign-in; false when
// there is none to use (the reason already printed).
bool useKeptSignIn(Pop3Client &client, const QString &host, const QString &user);

} // namespace CommandLineSignIn
