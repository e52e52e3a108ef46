// qbhost: the company-file host. It holds a company file (SQLite) and answers qbXML requests
// on a per-user local socket, as QuickBooks does with its company file open.
//
//   qbhost init FILE [--company NAME]
//   qbhost add-customer FILE NAME [--email ADDRESS]
//   qbhost add-item FILE NAME
//   qbhost serve FILE [--socket PATH] [--refuse REQUEST]... [--fault KIND@N] [--latency MS]
//   qbhost invoices FILE
//   qbhost webconnector FILE --url URL --user NAME --password-file FILE [--every SECONDS]
//                       [--ca FILE] [--fault KIND@N] [--new-connections] [--latency MS]

#include "core/Failure.h"
#include "qbhost/CompanyFile.h"
#include "qbhost/HostServer.h"
#include "qbhost/QbxmlHost.h"
#include "qbhost/WebConnectorClient.h"
#include "qbxml/QbChannel.h"
#include "service/CommandLine.h"
#include "service/QuitOnSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <cstdio>
#include <stdexcept>
#include <unistd.h>

namespace {

// The usage: on standard output when asked for (--help, exit 0), else on standard error
// (exit 2).
int usage(bool asked = false) {
    std::fputs(
        "usage: qbhost init FILE [--company NAME]\n"
        "       qbhost add-customer FILE NAME [--email ADDRESS]\n"
        "       qbhost add-item FILE NAME\n"
        "       qbhost serve FILE [--socket PATH] [--refuse REQUEST]... [--fault KIND@N]\n"
        "                        [--latency MS]\n"
        "         KIND@N[:REQUEST]: at the Nth request of that kind (InvoiceAdd; Any: of all)\n"
        "         KIND: die-before-store, die-after-store, garble, truncate, mute, stale\n"
        "       qbhost invoices FILE\n"
        "       qbhost webconnector FILE --url URL --user NAME --password-file FILE\n"
        "                           [--every SECONDS] [--ca FILE] [--fault KIND@N]\n"
        "                           [--new-connections] [--latency MS]\n"
        "         KIND: die-before-store, die-after-store, hresult\n",
        asked ? stdout : stderr);
    return asked ? 0 : 2;
}

int fail(const QString& message) {
    return CommandLine::fail("qbhost", message);
}

int serve(const QString& path, QStringList args) {
    const QString socket = [&] {
        const QString given = CommandLine::takeOption(args, QStringLiteral("--socket"));
        return given.isEmpty() ? QbChannel::defaultSocketPath() : given;
    }();
    CompanyFile file(path);
    QbxmlHost host(file);
    for (QString kind = CommandLine::takeOption(args, QStringLiteral("--refuse")); !kind.isEmpty();
         kind = CommandLine::takeOption(args, QStringLiteral("--refuse")))
        host.refuse(kind);
    HostServer server(host);
    const QString fault = CommandLine::takeOption(args, QStringLiteral("--fault"));
    if (!fault.isEmpty() && !server.faults().set(fault))
        return fail(QStringLiteral("unknown fault %1").arg(fault));
    const QString latency = CommandLine::takeOption(args, QStringLiteral("--latency"));
    bool latencyOk = true;
    server.faults().setLatency(latency.isEmpty() ? 0 : latency.toInt(&latencyOk));
    if (!latencyOk || latency.toInt() < 0)
        return fail(QStringLiteral("--latency takes a number of milliseconds"));
    if (!args.isEmpty())
        return usage();

    if (!server.listen(socket))
        return fail(server.errorString());

    // SIGINT and SIGTERM end the host between two requests.
    if (!quitOnSignals())
        return fail(QStringLiteral("cannot watch for signals"));
    std::printf("qbhost: serving %s on %s\n", qPrintable(path), qPrintable(socket));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Plays the QuickBooks Web Connector against the service at --url with the company file: one
// session, or one every --every seconds until stopped.
int webconnector(const QString& path, QStringList args) {
    WebConnectorClient::Options options;
    options.url = CommandLine::takeOption(args, QStringLiteral("--url"));
    options.user = CommandLine::takeOption(args, QStringLiteral("--user"));
    const QString passwordFile = CommandLine::takeOption(args, QStringLiteral("--password-file"));
    const QString every = CommandLine::takeOption(args, QStringLiteral("--every"));
    options.caFile = CommandLine::takeOption(args, QStringLiteral("--ca"));
    const QString fault = CommandLine::takeOption(args, QStringLiteral("--fault"));
    const QString latency = CommandLine::takeOption(args, QStringLiteral("--latency"));
    options.newConnectionPerCall = args.removeAll(QStringLiteral("--new-connections")) > 0;
    options.companyFile = QFileInfo(path).absoluteFilePath();
    bool latencyOk = true;
    options.latencyMs = latency.isEmpty() ? 0 : latency.toInt(&latencyOk);
    if (!latencyOk || options.latencyMs < 0)
        return fail(QStringLiteral("--latency takes a number of milliseconds"));
    if (!args.isEmpty() || options.url.isEmpty() || options.user.isEmpty() ||
        passwordFile.isEmpty())
        return usage();
    if (!fault.isEmpty() && !WebConnectorClient::parseFault(fault, options))
        return fail(QStringLiteral("unknown fault %1").arg(fault));
    QFile password(passwordFile);
    if (!password.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(passwordFile));
    options.password = QString::fromUtf8(password.readLine()).remove(u'\n').remove(u'\r');
    const int seconds = every.toInt();
    if (!every.isEmpty() && seconds < 1)
        return fail(QStringLiteral("--every takes a number of seconds"));

    CompanyFile file(path);
    QbxmlHost host(file);
    WebConnectorClient connector(options, host);
    // A session starts every --every seconds, counted from the start of the one before.
    for (;;) {
        QElapsedTimer started;
        started.start();
        const bool inOrder = connector.runSession();
        if (!inOrder)
            std::fprintf(stderr, "qbhost: webconnector: %s\n", qPrintable(connector.errorString()));
        if (seconds == 0)
            return inOrder ? 0 : 1;
        QThread::msleep(unsigned(qMax<qint64>(0, seconds * 1000LL - started.elapsed())));
    }
}

// A JSON string, escaped as JSON requires.
QByteArray jsonText(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonBool(bool value) {
    return value ? "true" : "false";
}

// One JSON object per invoice and line, keys in the documented order.
int invoices(const QString& path) {
    const CompanyFile file(path);
    for (const CompanyFile::Invoice& invoice : file.invoices()) {
        QByteArrayList lines;
        for (const CompanyFile::Line& line : invoice.lines) {
            const QByteArray quantity = line.quantity.isEmpty() ? "null" : line.quantity.toUtf8();
            lines << "{\"item\":" + jsonText(line.item) +
                         ",\"desc\":" + jsonText(line.description) + ",\"quantity\":" + quantity +
                         ",\"amount\":" + jsonText(line.amount) +
                         ",\"other1\":" + jsonText(line.other1) + "}";
        }
        const QByteArray object = "{\"txn_id\":" + jsonText(invoice.txnId) +
                                  ",\"customer\":" + jsonText(invoice.customer) +
                                  ",\"txn_date\":" + jsonText(invoice.txnDate) +
                                  ",\"due_date\":" + jsonText(invoice.dueDate) +
                                  ",\"is_to_be_printed\":" + jsonBool(invoice.toBePrinted) +
                                  ",\"is_to_be_emailed\":" + jsonBool(invoice.toBeEmailed) +
                                  ",\"lines\":[" + lines.join(',') + "]}";
        std::printf("%s\n", object.constData());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() &&
        (args.first() == u"--help" || args.first() == u"-h" || args.first() == u"help"))
        return usage(true);
    if (args.size() < 2)
        return usage();
    const QString command = args.takeFirst();
    const QString path = args.takeFirst();
    try {
        if (command == u"init") {
            const QString company = CommandLine::takeOption(args, QStringLiteral("--company"));
            if (!args.isEmpty())
                return usage();
            CompanyFile::create(path, company);
            return 0;
        }
        if (command != u"serve" && !QFileInfo::exists(path))
            return fail(QStringLiteral("no company file %1").arg(path));
        if (command == u"add-customer" && !args.isEmpty()) {
            const QString name = args.takeFirst();
            const QString email = CommandLine::takeOption(args, QStringLiteral("--email"));
            CompanyFile(path).addCustomer(name, email);
            return 0;
        }
        if (command == u"add-item" && args.size() == 1) {
            CompanyFile(path).addItem(args.first());
            return 0;
        }
        if (command == u"serve") {
            if (!QFileInfo::exists(path))
                return fail(QStringLiteral("no company file %1").arg(path));
            return serve(path, args);
        }
        if (command == u"invoices")
            return invoices(path);
        if (command == u"webconnector")
            return webconnector(path, args);
    } catch (const Failure& failure) {
        return fail(failure.description());
    } catch (const std::exception& e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
    return usage();
}
