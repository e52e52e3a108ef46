// qbbridge: the bridge between Velloran and QuickBooks Desktop on another computer. It serves
// the program's requests on the per-user socket, as the company-file host does, and hands them
// to the QuickBooks Web Connector, which polls it over HTTP(S).
//
//   qbbridge serve --listen ADDRESS:PORT --user NAME --password-file FILE
//                  [--cert FILE --key FILE] [--socket PATH] [--wait SECONDS]
//   qbbridge qwc --url URL --user NAME [--app-name NAME] [--every SECONDS]

#include "posting/QbChannel.h"
#include "tools/common/CommandLine.h"
#include "tools/common/LocalEndpoint.h"
#include "tools/qbbridge/BridgeServer.h"
#include "tools/qbbridge/QwcFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <cstdio>
#include <stdexcept>

using CommandLine::takeOption;

namespace {

int usage() {
    std::fputs("usage: qbbridge serve --listen ADDRESS:PORT --user NAME --password-file FILE\n"
               "                      [--cert FILE --key FILE] [--socket PATH] [--wait SECONDS]\n"
               "       qbbridge qwc --url URL --user NAME [--app-name NAME] [--every SECONDS]\n",
               stderr);
    return 2;
}

int fail(const QString& message) {
    return CommandLine::fail("qbbridge", message);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            qPrintable(QStringLiteral("cannot read %1: %2").arg(path, file.errorString())));
    return file.readAll();
}

QSslKey readKey(const QString& path) {
    const QByteArray pem = readFile(path);
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec}) {
        const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    throw std::runtime_error(qPrintable(QStringLiteral("%1 holds no private key").arg(path)));
}

int serve(QStringList args) {
    const QString listen = takeOption(args, QStringLiteral("--listen"));
    WebConnectorService::Options options;
    options.user = takeOption(args, QStringLiteral("--user"));
    const QString passwordFile = takeOption(args, QStringLiteral("--password-file"));
    const QString cert = takeOption(args, QStringLiteral("--cert"));
    const QString key = takeOption(args, QStringLiteral("--key"));
    const QString socketGiven = takeOption(args, QStringLiteral("--socket"));
    const QString wait = takeOption(args, QStringLiteral("--wait"));
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
    options.password = readFile(passwordFile).split('\n').value(0);
    if (options.password.endsWith('\r'))
        options.password.chop(1);
    if (options.password.isEmpty())
        return fail(QStringLiteral("the password file %1 is empty").arg(passwordFile));

    const QString socket = socketGiven.isEmpty() ? QbChannel::defaultSocketPath() : socketGiven;
    BridgeServer server(options);
    if (!cert.isEmpty()) {
        const QSslCertificate certificate(readFile(cert), QSsl::Pem);
        if (certificate.isNull())
            return fail(QStringLiteral("%1 holds no certificate").arg(cert));
        server.sslSetup(certificate, readKey(key));
    }
    const QString error = server.listenLocal(socket);
    if (!error.isEmpty())
        return fail(error);
    const quint16 bound = server.listen(address, port);
    if (bound == 0)
        return fail(QStringLiteral("cannot listen on %1").arg(listen));
    if (!LocalEndpoint::quitOnSignals())
        return fail(QStringLiteral("cannot watch for signals"));
    std::printf("qbbridge: serving %s and %s://%s:%u/qbwc\n", qPrintable(socket),
                cert.isEmpty() ? "http" : "https",
                qPrintable(address.protocol() == QAbstractSocket::IPv6Protocol
                               ? u'[' + address.toString() + u']'
                               : address.toString()),
                unsigned(bound));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int qwc(QStringList args) {
    QwcFile::Settings settings;
    settings.url = takeOption(args, QStringLiteral("--url"));
    settings.user = takeOption(args, QStringLiteral("--user"));
    const QString appName = takeOption(args, QStringLiteral("--app-name"));
    const QString every = takeOption(args, QStringLiteral("--every"));
    if (!args.isEmpty() || settings.url.isEmpty() || settings.user.isEmpty())
        return usage();
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
