#pragma once

#include "mail/OAuth2Presets.h"

#include <QString>

#include <optional>

// Where an account's OAuth2 sign-in is kept: how it signs in (provider, client
// id, ...) in login.ini beside the last log-in, its refresh token only in the
// desktop's secret store. Access tokens are kept nowhere but in memory.
namespace OAuth2AccountStore {

std::optional<OAuth2Account> load(const QString &host, const QString &user);
void save(const QString &host, const QString &user, const OAuth2Account &account);

// The secret store is asked and its answer awaited (up to a few seconds).
// Nothing and *error: there is no store to ask; an empty token: none kept.
std::optional<QString> readRefreshToken(const QString &host, const QString &user, QString *error);
bool writeRefreshToken(const QString &host, const QString &user, const QString &token, QString *error);

// Keeps what a sign-in gave: the refresh token in the secret store, the
// account's settings beside it. "" when kept, else why not, in words.
QString keep(const QString &host, const QString &user, const OAuth2Account &account, const TokenReply &tokens);

// "Forget this account": its settings and its refresh token.
bool forget(const QString &host, const QString &user, QString *error);

} // namespace OAuth2AccountStore
