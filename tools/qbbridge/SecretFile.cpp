#include "tools/qbbridge/SecretFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> SecretFile::read(const QString& path, const QString& what,
                                           QString* problem) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        *problem = QStringLiteral("cannot read %1 %2: %3")
                       .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        *problem = QStringLiteral("%1 %2 is no regular file").arg(what, path);
        return std::nullopt;
    }
    if (status.st_uid != ::geteuid()) {
        *problem = QStringLiteral("%1 %2 belongs to another account (user ID %3): it must be "
                                  "your own")
                       .arg(what, path)
                       .arg(status.st_uid);
        return std::nullopt;
    }
    if ((status.st_mode & 077) != 0) {
        *problem = QStringLiteral("%1 %2 may be read or changed by others (mode %3): run "
                                  "chmod 600 %2")
                       .arg(what, path)
                       .arg(status.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("cannot read %1 %2: %3").arg(what, path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QByteArray> SecretFile::password(const QString& path, QString* problem) {
    const QString what = QStringLiteral("the password file");
    const auto bytes = read(path, what, problem);
    if (!bytes)
        return std::nullopt;
    QByteArray line = bytes->split('\n').value(0);
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype characters = QString::fromUtf8(line).size();
    if (characters < MinPasswordCharacters) {
        *problem = line.isEmpty() ? QStringLiteral("%1 %2 is empty").arg(what, path)
                                  : QStringLiteral("the password in %1 has %2 characters: it "
                                                   "needs at least %3")
                                        .arg(path)
                                        .arg(characters)
                                        .arg(MinPasswordCharacters);
        return std::nullopt;
    }
    return line;
}
