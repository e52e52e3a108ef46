// qbbridge: the bridge between Velloran and QuickBooks Desktop on another computer. It serves
// the program's requests on the per-user socket, as the company-file host does, and hands them
// to the QuickBooks Web Connector, which polls it over HTTP(S).
//
//   qbbridge serve --listen ADDRESS:PORT --user NAME --password-file FILE
//                  [--cert FILE --key FILE] [--public-url URL] [--socket PATH] [--wait SECONDS]
//   qbbridge qwc --url URL --user NAME [--app-name NAME] [--every SECONDS] [--file-id GUID]

#include "posting/QbChannel.h"
#include "tools/common/CommandLine.h"
#include "tools/common/LocalEndpoint.h"
#include "tools/qbbridge/BridgeServer.h"
#include "tools/qbbridge/QwcFile.h"
#include "tools/qbbridge/SecretFile.h"
#include "tools/qbbridge/TlsCredentials.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QUrl>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>

using CommandLine::takeOption;

namespace {

int usage() {
    std::fputs("usage: qbbridge serve --listen ADDRESS:PORT --user NAME --password-file FILE\n"
               "                      [--cert FILE --key FILE] [--public-url URL]\n"
               "                      [--socket PATH] [--wait SECONDS]\n"
               "       qbbridge qwc --url URL --user NAME [--app-name NAME] [--every SECONDS]\n"
               "                    [--file-id GUID]\n",
               stderr);
    return 2;
}

int fail(const QString& message) {
    return CommandLine::fail("qbbridge", message);
}

// Many connections are allowed before the file table is full: the bridge bounds them itself.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int serve(QStringList args) {
    const QString listen = takeOption(args, QStringLiteral("--listen"));
    BridgeServer::Settings settings;
    WebConnectorService::Options& options = settings.service;
    options.user = takeOption(args, QStringLiteral("--user"));
    const QString passwordFile = takeOption(args, QStringLiteral("--password-file"));
    const QString cert = takeOption(args, QStringLiteral("--cert"));
    const QString key = takeOption(args, QStringLiteral("--key"));
    const QString socketGiven = takeOption(args, QStringLiteral("--socket"));
    const QString wait = takeOption(args, QStringLiteral("--wait"));
    settings.publicUrl = takeOption(args, QStringLiteral("--public-url"));
    if (!args.isEmpty() || listen.isEmpty() || options.user.isEmpty() || passwordFile.isEmpty() ||
        cert.isEmpty() != key.isEmpty())
        return usage();
    if (!wait.isEmpty()) {
        bool ok = false;
        options.waitSeconds = wait.toInt(&ok);
        if (!ok || options.waitSeconds < 1)
            return fail(QStringLiteral("--wait takes a number of seconds"));
    }
    const int colon = listen.lastIndexOf(u':');
    bool portOk = false;
    const quint16 port = listen.mid(colon + 1).toUShort(&portOk);
    QString host = listen.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host == u"localhost" ? QStringLiteral("127.0.0.1") : host);
    if (colon < 0 || !portOk || address.isNull())
        return fail(QStringLiteral("--listen takes ADDRESS:PORT, such as 127.0.0.1:8080"));
    // The Web Connector talks plain HTTP to localhost only; anywhere else the password would
    // cross the network readable.
    if (!address.isLoopback() && cert.isEmpty())
        return fail(QStringLiteral("plain HTTP is only for a loopback address; to listen on %1 "
                                   "give --cert FILE --key FILE (the Web Connector needs HTTPS)")
                        .arg(host));
    QString publicHost;
    if (!settings.publicUrl.isEmpty()) {
        const QString problem = QwcFile::problemWith(settings.publicUrl);
        if (!problem.isEmpty())
            return fail(QStringLiteral("--public-url: %1").arg(problem));
        publicHost = QUrl(settings.publicUrl).host();
    }
    QString problem;
    const auto password = SecretFile::password(passwordFile, &problem);
    if (!password)
        return fail(problem);
    options.password = *password;
    if (!cert.isEmpty()) {
        const auto keyPem = SecretFile::read(key, QStringLiteral("the key file"), &problem);
        if (!keyPem)
            return fail(problem);
        QFile certificate(cert);
        if (!certificate.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(cert, certificate.errorString()));
        TlsCredentials credentials;
        problem = TlsCredentials::judge(certificate.readAll(), cert, *keyPem, key, publicHost,
                                        QDateTime::currentDateTimeUtc(), credentials);
        if (!problem.isEmpty())
            return fail(problem);
        settings.certificateChain = credentials.chainPem;
        settings.key = credentials.keyPem;
    }

    raiseOpenFileLimit();
    const QString socket = socketGiven.isEmpty() ? QbChannel::defaultSocketPath() : socketGiven;
    BridgeServer server(settings);
    QString error = server.listenLocal(socket);
    if (error.isEmpty())
        error = server.listen(address, port);
    if (!error.isEmpty())
        return fail(error);
    if (!LocalEndpoint::quitOnSignals())
        return fail(QStringLiteral("cannot watch for signals"));
    std::printf("qbbridge: serving %s and %s://%s:%u/qbwc\n", qPrintable(socket),
                cert.isEmpty() ? "http" : "https",
                qPrintable(address.protocol() == QAbstractSocket::IPv6Protocol
                               ? u'[' + address.toString() + u']'
                               : address.toString()),
                unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int qwc(QStringList args) {
    QwcFile::Settings settings;
    settings.url = takeOption(args, QStringLiteral("--url"));
    settings.user = takeOption(args, QStringLiteral("--user"));
    const QString appName = takeOption(args, QStringLiteral("--app-name"));
    const QString every = takeOption(args, QStringLiteral("--every"));
    const QString fileId = takeOption(args, QStringLiteral("--file-id"));
    if (!args.isEmpty() || settings.url.isEmpty() || settings.user.isEmpty())
        return usage();
    if (!fileId.isEmpty()) {
        settings.fileId = QwcFile::fileIdOf(fileId);
        if (settings.fileId.isEmpty())
            return fail(QStringLiteral("--file-id takes a GUID, such as the FileID of the first "
                                       "file: {5b0d7c2e-9a41-4c8e-b7f3-2d6e1a9c4f10}"));
    }
    if (!appName.isEmpty())
        settings.appName = appName;
    if (!every.isEmpty()) {
        bool ok = false;
        settings.everySeconds = every.toInt(&ok);
        if (!ok || settings.everySeconds < 1)
            return fail(QStringLiteral("--every takes a number of seconds"));
    }
    const QString problem = QwcFile::problemWith(settings.url);
    if (!problem.isEmpty())
        return fail(problem);
    std::fputs(QwcFile::write(settings).constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    try {
        if (command == u"serve")
            return serve(args);
        if (command == u"qwc")
            return qwc(args);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    return usage();
}
