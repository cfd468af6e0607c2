#pragma once

#include <QString>

#include <optional>

namespace zt::cli {

// Where a password comes from: never from the command line itself.
struct SecretSource
{
    QString file; // a file option: its first line
    QString environmentVariable; // e.g. ZTWIZARD_LOGIN_PASSWORD (set, even empty, counts)
    QString prompt; // asked on the terminal without echo
    QString confirmPrompt; // when set, asked a second time on the terminal
};

struct Secret
{
    QString text;
    QString again; // the confirmation (the same text unless asked twice on the terminal)
    QString from; // "file", "environment" or "terminal"
};

// Reads a password from the file, else the environment variable, else the terminal. nullopt with
// problem set when none can be had (no file, variable or terminal; unreadable file).
std::optional<Secret> readSecret(const SecretSource &source, QString &problem);

// The first line of a password file, without its line end.
std::optional<QString> readSecretFile(const QString &path);

} // namespace zt::cli
