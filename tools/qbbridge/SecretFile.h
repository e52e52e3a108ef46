#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A file that holds a secret (the password, the TLS key). It must be a regular file (a link is
// followed and its target judged) that belongs to the user running the bridge and that nobody
// else may read or write: a secret others can read is no secret, and one they can write lets
// them choose it.
namespace SecretFile {

// The file's bytes; nullopt with the reason in *problem when it may not be used. what names
// the file in the reason ("the password file").
std::optional<QByteArray> read(const QString& path, const QString& what, QString* problem);

// The first line of a password file, or nullopt with the reason: at least this many
// characters, so that it cannot be guessed within the sign-in delays.
constexpr int MinPasswordCharacters = 12;
std::optional<QByteArray> password(const QString& path, QString* problem);

} // namespace SecretFile
