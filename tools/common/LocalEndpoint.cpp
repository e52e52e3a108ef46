#include "tools/common/LocalEndpoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

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

namespace {
int signalPipe[2];

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

bool LocalEndpoint::quitOnSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
    return true;
}
