#include "qbbridge/SecretFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

SecretFile::SecretFile(QString path, QString what)
    : m_path(std::move(path))
    , m_what(std::move(what)) {}

bool SecretFile::fail(const QString& reason) {
    m_contents.clear();
    m_errorString = reason;
    return false;
}

bool SecretFile::read() {
    const QString& path = m_path;
    const QString& what = m_what;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return fail(QStringLiteral("cannot read %1 %2: %3")
                        .arg(what, path, QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISREG(status.st_mode))
        return fail(QStringLiteral("%1 %2 is no regular file").arg(what, path));
    if (status.st_uid != ::geteuid())
        return fail(QStringLiteral("%1 %2 belongs to another account (user ID %3): it must be "
                                   "your own")
                        .arg(what, path)
                        .arg(status.st_uid));
    if ((status.st_mode & 077) != 0)
        return fail(QStringLiteral("%1 %2 may be read or changed by others (mode %3): run "
                                   "chmod 600 %2")
                        .arg(what, path)
                        .arg(status.st_mode & 0777, 4, 8, QLatin1Char('0')));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1 %2: %3").arg(what, path, file.errorString()));
    m_contents = file.readAll();
    return true;
}

bool SecretFile::readPassword() {
    if (!read())
        return false;
    QByteArray line = m_contents.split('\n').value(0);
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype characters = QString::fromUtf8(line).size();
    if (characters < MinPasswordCharacters)
        return fail(line.isEmpty() ? QStringLiteral("%1 %2 is empty").arg(m_what, m_path)
                                   : QStringLiteral("the password in %1 has %2 characters: it "
                                                    "needs at least %3")
                                         .arg(m_path)
                                         .arg(characters)
                                         .arg(MinPasswordCharacters));
    m_contents = line;
    return true;
}
