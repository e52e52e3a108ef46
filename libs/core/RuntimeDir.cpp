#include "core/RuntimeDir.h"

#include "core/Failure.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Failure unsafe(const QString& dir, const QString& problem) {
    return Failure(ErrorNumber::PermissionDenied,
                   QStringLiteral("Permission denied: the folder %1 cannot be trusted for "
                                  "Velloran's connection to QuickBooks: %2. Remove it, or set "
                                  "XDG_RUNTIME_DIR to a folder of your own that only you can "
                                  "use (mode 0700).")
                       .arg(dir, problem));
}
} // namespace

QString RuntimeDir::problemWith(const QString& dir) {
    struct stat info {};
    if (::lstat(QFile::encodeName(dir).constData(), &info) != 0)
        return QStringLiteral("it cannot be read (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a link to another place");
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("it is no folder");
    if (info.st_uid != ::getuid())
        return QStringLiteral("it belongs to another account (user ID %1)").arg(info.st_uid);
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        return QStringLiteral("other accounts can use it (mode %1)")
            .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return QString();
}

QString RuntimeDir::path() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        const QString problem = problemWith(runtime);
        if (!problem.isEmpty())
            throw unsafe(runtime, problem);
        return runtime;
    }
    const QString dir =
        QDir(QDir::tempPath()).filePath(QStringLiteral("velloran-%1").arg(::getuid()));
    // Made private in the same step that makes it; one that was there already is checked.
    if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
        throw unsafe(dir, QStringLiteral("it cannot be made (%1)")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
    const QString problem = problemWith(dir);
    if (!problem.isEmpty())
        throw unsafe(dir, problem);
    return dir;
}
