#include "tools/common/LocalEndpoint.h"

#include "core/TerminationSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

QString LocalEndpoint::listen(QLocalServer& server, const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000))
        return QStringLiteral("another company-file host already serves %1").arg(path);
    probe.abort();

    // A folder made here is private; one that exists is left as its owner set it.
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(dir) && QDir().mkpath(dir))
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QLocalServer::removeServer(path); // a socket file left by a server that was killed
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(path))
        return server.errorString();
    return QString();
}

bool LocalEndpoint::quitOnSignals() {
    return TerminationSignals::watch([] { QCoreApplication::quit(); });
}
