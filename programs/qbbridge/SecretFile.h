#pragma once

#include <QByteArray>
#include <QString>

// A file that holds a secret (the password, the TLS key). It must be a regular file (a link is
// followed and its target judged) that belongs to the user running the bridge and that nobody
// else may read or write: a secret others can read is no secret, and one they can write lets
// them choose it.
class SecretFile {
public:
    // what names the file in the reasons ("the password file").
    SecretFile(QString path, QString what);

    // Reads the whole file; false, with the reason in errorString(), when it may not be used.
    bool read();
    // Reads the file's first line as a password: at least this many characters, so that it
    // cannot be guessed within the sign-in delays.
    static constexpr int MinPasswordCharacters = 12;
    bool readPassword();

    // What the last read took: the file's bytes, or the password.
    QByteArray contents() const { return m_contents; }
    QString errorString() const { return m_errorString; }

private:
    bool fail(const QString& reason);

    QString m_path;
    QString m_what;
    QByteArray m_contents;
    QString m_errorString;
};
