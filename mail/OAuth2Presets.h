#pragma once

#include "mail/OAuth2Sasl.h"
#include "mail/OAuth2Tokens.h"

#include <QString>

#include <optional>

// How an account signs in with OAuth2, as the user set it up: a provider the
// program knows, or one given by its addresses. What differs between the
// providers that a user cannot be expected to know lives here.
struct OAuth2Account
{
    enum class Kind { Google, Microsoft, Custom };
    Kind kind = Kind::Custom;
    QString clientId;
    QString clientSecret;    // Google gives desktop programs one; it is not a secret in the usual sense
    QString tenant = QStringLiteral("common");   // Microsoft: common, consumers, organizations or a tenant id
    // Custom providers only:
    QUrl authorizationUrl;
    QUrl tokenUrl;
    QUrl deviceUrl;
    QString scope;
    // Custom providers only: the mechanism their server needs, when its
    // choice is not the one to take.
    std::optional<TokenMechanism> customMechanism;

    OAuth2Provider provider() const;
    // The server and port the provider's mailboxes are on ("" for Custom).
    QString defaultHost() const;
    // The listener's name in the redirect address: Microsoft takes only "localhost".
    QString redirectHost() const;
    // The SASL mechanism to use, when the provider requires one.
    std::optional<TokenMechanism> mechanism() const;
    // Whether the device grant may ask for the mail scope (Google allows it
    // for no mail scope, so its command line uses the browser's way).
    bool deviceGrantAllowed() const;

    // What is missing before a sign-in can start, in words; "" when nothing.
    QString problem() const;

    static std::optional<Kind> kindNamed(const QString &name);   // "google", "microsoft", "custom"
    static QString nameOf(Kind kind);
};
