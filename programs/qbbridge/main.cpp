// qbbridge: the bridge between Velloran and QuickBooks Desktop on another computer. It serves
// the program's requests on the per-user socket, as the company-file host does, and hands them
// to the QuickBooks Web Connector, which polls it over HTTP(S).
//
//   qbbridge serve [--config FILE] [--listen ADDRESS:PORT --user NAME --password-file FILE
//                  [--cert FILE --key FILE] [--public-url URL] [--socket PATH] [--wait SECONDS]
//                  [--every SECONDS]]
//   qbbridge check [--config FILE] [the options of serve]
//   qbbridge qwc [--config FILE] [--url URL] [--user NAME] [--app-name NAME] [--every SECONDS]
//                [--file-id GUID]

#include "qbbridge/BridgeServer.h"
#include "qbbridge/BridgeSettings.h"
#include "qbbridge/QwcFile.h"
#include "qbbridge/SecretFile.h"
#include "qbbridge/TlsCredentials.h"
#include "qbxml/QbChannel.h"
#include "service/CommandLine.h"
#include "service/Log.h"
#include "service/QuitOnSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSysInfo>
#include <QTextStream>
#include <QUrl>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>

using CommandLine::takeOption;

namespace {

// The usage: on standard output when asked for (--help, exit 0), else on standard error
// (exit 2).
int usage(bool asked = false) {
    std::fputs("usage: qbbridge serve [--config FILE] [--listen ADDRESS:PORT] [--user NAME]\n"
               "                      [--password-file FILE] [--cert FILE --key FILE]\n"
               "                      [--public-url URL] [--socket PATH] [--wait SECONDS]\n"
               "                      [--every SECONDS]\n"
               "       qbbridge check [--config FILE] [the options of serve]\n"
               "       qbbridge qwc [--config FILE] [--url URL] [--user NAME] [--app-name NAME]\n"
               "                    [--every SECONDS] [--file-id GUID]\n"
               "  Without --config or --listen, the settings are read from\n"
               "  $XDG_CONFIG_HOME/velloran/qbbridge.conf (one KEY = VALUE a line; the keys are\n"
               "  the options' names). qwc takes its URL, user and schedule from there too\n"
               "  (public-url, user, every) unless given.\n",
               asked ? stdout : stderr);
    return asked ? 0 : 2;
}

int fail(const QString& message) {
    Log::write("qbbridge", Log::Error, message);
    return 1;
}

// Many connections are allowed before the file table is full: the bridge bounds them itself.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The settings of serve and check: the file given with --config, or the default one when
// neither --config nor --listen is given, then the command line's options over it. Returns
// the exit status on failure: 1 for a bad file or value, 2 for a wrong command line.
std::optional<BridgeSettings> settingsFrom(QStringList args, QString* source, int* status) {
    QString path = CommandLine::takeOption(args, QStringLiteral("--config"));
    if (path.isEmpty() && !args.contains(QStringLiteral("--listen")) &&
        QFileInfo::exists(BridgeSettings::defaultPath()))
        path = BridgeSettings::defaultPath();
    BridgeSettings settings;
    if ((!path.isEmpty() && !settings.load(path)) || !settings.takeOptions(args)) {
        *status = fail(settings.errorString());
        return std::nullopt;
    }
    if (!args.isEmpty() || (path.isEmpty() && settings.listen.isEmpty())) {
        *status = usage();
        return std::nullopt;
    }
    *source = path.isEmpty() ? QStringLiteral("the command line") : path;
    return settings;
}

// Everything serve judges before it listens: the settings, the password file, the key and the
// certificates. The reasons it would refuse, in order; the server's settings in *out.
QStringList judge(BridgeSettings& settings, BridgeServer::Settings& out,
                  TlsCredentials& credentials) {
    settings.check();
    QStringList problems = settings.errors();
    out.service.user = settings.user;
    out.service.waitSeconds = settings.waitFor();
    out.publicUrl = settings.publicUrl;
    if (!settings.passwordFile.isEmpty()) {
        SecretFile password(settings.passwordFile, QStringLiteral("the password file"));
        if (password.readPassword())
            out.service.password = password.contents();
        else
            problems << password.errorString();
    }
    if (settings.cert.isEmpty() || settings.key.isEmpty())
        return problems;
    // Both files are judged, so that one look tells every reason.
    SecretFile key(settings.key, QStringLiteral("the key file"));
    const bool keyRead = key.read();
    if (!keyRead)
        problems << key.errorString();
    QFile certificate(settings.cert);
    if (!certificate.open(QIODevice::ReadOnly))
        problems
            << QStringLiteral("cannot read %1: %2").arg(settings.cert, certificate.errorString());
    if (!keyRead || !certificate.isOpen())
        return problems;
    if (!credentials.load(certificate.readAll(), settings.cert, key.contents(), settings.key,
                          settings.publicUrl.isEmpty() ? QString()
                                                       : QUrl(settings.publicUrl).host(),
                          QDateTime::currentDateTimeUtc()))
        problems << credentials.errorString();
    out.certificateChain = credentials.chainPem;
    out.key = credentials.keyPem;
    return problems;
}

// The settings as serve and check read them, and what serve would make of them.
struct Judged {
    BridgeSettings settings;
    QString source;
    BridgeServer::Settings server;
    TlsCredentials credentials;
    QStringList problems;
};

std::optional<Judged> judgedFrom(const QStringList& args, int* status) {
    Judged judged;
    const auto settings = settingsFrom(args, &judged.source, status);
    if (!settings)
        return std::nullopt;
    judged.settings = *settings;
    judged.problems = judge(judged.settings, judged.server, judged.credentials);
    return judged;
}

QString urlText(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                               : address.toString();
}

int serve(const QStringList& args) {
    int status = 0;
    const auto judged = judgedFrom(args, &status);
    if (!judged)
        return status;
    if (!judged->problems.isEmpty())
        return fail(judged->problems.first());
    const BridgeSettings* settings = &judged->settings;
    const BridgeServer::Settings& server = judged->server;
    const auto endpoint = BridgeSettings::endpointOf(settings->listen);

    raiseOpenFileLimit();
    const QString socket =
        settings->socket.isEmpty() ? QbChannel::defaultSocketPath() : settings->socket;
    BridgeServer bridge(server);
    if (!bridge.listenLocal(socket) || !bridge.listen(endpoint->address, endpoint->port))
        return fail(bridge.errorString());
    if (!quitOnSignals())
        return fail(QStringLiteral("cannot watch for signals"));
    const QString local =
        QStringLiteral("%1://%2:%3/qbwc")
            .arg(settings->cert.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"),
                 urlText(endpoint->address))
            .arg(bridge.port());
    // The address the Web Connector is given, where it is not the listening one.
    const QString forConnector =
        settings->publicUrl.isEmpty()
            ? QString()
            : QStringLiteral(" for the Web Connector at %1").arg(settings->publicUrl);
    std::printf("qbbridge: serving %s and %s%s\n", qPrintable(socket), qPrintable(local),
                qPrintable(forConnector));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// What the Web Connector will meet, and whether serve would start.
int check(const QStringList& args) {
    int status = 0;
    const auto judged = judgedFrom(args, &status);
    if (!judged)
        return status;
    const BridgeSettings* settings = &judged->settings;
    const TlsCredentials& credentials = judged->credentials;
    const QStringList& problems = judged->problems;
    QTextStream out(stdout);
    out << "settings: " << judged->source << '\n';
    const auto endpoint = BridgeSettings::endpointOf(settings->listen);
    const bool tls = !settings->cert.isEmpty();
    QString url = settings->publicUrl;
    if (url.isEmpty() && endpoint)
        url = QStringLiteral("%1://%2:%3/qbwc")
                  .arg(tls ? QStringLiteral("https") : QStringLiteral("http"),
                       endpoint->address.isLoopback() ? QStringLiteral("localhost")
                       : endpoint->address.isEqual(QHostAddress::AnyIPv4) ||
                               endpoint->address.isEqual(QHostAddress::AnyIPv6)
                           ? QSysInfo::machineHostName()
                           : urlText(endpoint->address))
                  .arg(endpoint->port);
    if (endpoint)
        out << "listens on: " << urlText(endpoint->address) << ':' << endpoint->port
            << (tls ? " (HTTPS)" : " (plain HTTP)") << '\n';
    out << "the Web Connector's URL: " << url
        << (settings->publicUrl.isEmpty() ? " (not set: give public-url the address the Web "
                                            "Connector is given)"
                                          : "")
        << '\n';
    out << "user: " << settings->user << '\n';
    out << "the Web Connector calls: "
        << (settings->everySeconds > 0
                ? QStringLiteral("every %1 seconds (every)").arg(settings->everySeconds)
                : QStringLiteral("when the clerk presses Update Selected (every not set)"))
        << "; a run waits up to " << settings->waitFor() << " seconds for its call\n";
    if (!credentials.chain.isEmpty()) {
        const TlsCredentials::Certificate& leaf = credentials.chain.first();
        const qint64 days = QDateTime::currentDateTimeUtc().daysTo(leaf.notAfter);
        out << "certificate: " << leaf.subject << '\n'
            << "  names: "
            << (leaf.names.isEmpty() ? QStringLiteral("none") : leaf.names.join(u", ")) << '\n'
            << "  issuer: " << leaf.issuer << '\n'
            << "  expires: " << leaf.notAfter.toString(Qt::ISODate) << " ("
            << (days >= 0 ? QStringLiteral("%1 days left").arg(days)
                          : QStringLiteral("expired %1 days ago").arg(-days))
            << ")\n"
            << "  chain sent: ";
        QStringList subjects;
        for (const auto& certificate : credentials.chain)
            subjects << certificate.subject;
        out << subjects.join(QStringLiteral(" <- ")) << '\n';
        // A chain the Web Connector can follow ends at a root its computer trusts: one the
        // chain does not hold must be there, or it was left out of --cert.
        const TlsCredentials::Certificate& last = credentials.chain.last();
        const bool selfIssued = last.issuer == last.subject;
        if (!selfIssued && !subjects.contains(last.issuer))
            out << "  chain ends at: " << last.subject << ", issued by " << last.issuer
                << ", which is not sent: the Web Connector's computer must trust " << last.issuer
                << " as a root certificate; if it is an intermediate, it belongs in --cert "
                   "after the certificate it issued\n";
        const QString host = QUrl(url).host();
        out << "  names the URL's host " << host << ": "
            << (credentials.names(host) ? "yes" : "no: the Web Connector will refuse it") << '\n';
    }
    if (problems.isEmpty()) {
        out << "serve would start.\n";
        return 0;
    }
    out << "serve would not start:\n";
    for (const QString& problem : problems)
        out << "  - " << problem << '\n';
    return 1;
}

int qwc(QStringList args) {
    // The Web Connector's file follows the bridge's settings, so that both keep one schedule.
    QString path = takeOption(args, QStringLiteral("--config"));
    if (path.isEmpty() && QFileInfo::exists(BridgeSettings::defaultPath()))
        path = BridgeSettings::defaultPath();
    BridgeSettings bridge;
    if (!path.isEmpty() && !bridge.load(path))
        return fail(bridge.errorString());
    QwcFile::Settings settings;
    settings.url = takeOption(args, QStringLiteral("--url"));
    settings.user = takeOption(args, QStringLiteral("--user"));
    if (settings.url.isEmpty())
        settings.url = bridge.publicUrl;
    if (settings.user.isEmpty())
        settings.user = bridge.user;
    settings.everySeconds = bridge.everySeconds;
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
    QwcFile file(settings);
    if (!file.check())
        return fail(file.errorString());
    std::fputs(file.text().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == u"--help" || command == u"-h" || command == u"help")
        return usage(true);
    try {
        if (command == u"serve")
            return serve(args);
        if (command == u"check")
            return check(args);
        if (command == u"qwc")
            return qwc(args);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    return usage();
}
