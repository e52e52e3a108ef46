#include "app/RuntimeDir.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

QString RuntimeDir::path() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime;
    const QString dir =
        QDir(QDir::tempPath()).filePath(QStringLiteral("velloran-%1").arg(getuid()));
    if (QDir().mkpath(dir))
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}
