// qbhost: the company-file host. It holds a company file (SQLite) and answers qbXML requests
// on a per-user local socket, as QuickBooks does with its company file open.
//
//   qbhost init FILE
//   qbhost add-customer FILE NAME [--email ADDRESS]
//   qbhost add-item FILE NAME
//   qbhost serve FILE [--socket PATH] [--refuse REQUEST]... [--fault KIND@N]
//   qbhost invoices FILE

#include "CompanyFile.h"
#include "HostServer.h"
#include "QbxmlHost.h"
#include "posting/QbChannel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int usage() {
    std::fputs("usage: qbhost init FILE\n"
               "       qbhost add-customer FILE NAME [--email ADDRESS]\n"
               "       qbhost add-item FILE NAME\n"
               "       qbhost serve FILE [--socket PATH] [--refuse REQUEST]... [--fault KIND@N]\n"
               "         KIND@N[:REQUEST]: at the Nth request of that kind (InvoiceAdd)\n"
               "         KIND: die-before-store, die-after-store, garble, truncate, mute\n"
               "       qbhost invoices FILE\n",
               stderr);
    return 2;
}

int fail(const QString& message) {
    std::fprintf(stderr, "qbhost: %s\n", qPrintable(message));
    return 1;
}

QString optionValue(QStringList& args, const QString& name) {
    const int at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return QString();
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

int signalPipe[2];

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

int serve(const QString& path, QStringList args) {
    const QString socket = [&] {
        const QString given = optionValue(args, QStringLiteral("--socket"));
        return given.isEmpty() ? QbChannel::defaultSocketPath() : given;
    }();
    CompanyFile file(path);
    QbxmlHost host(file);
    for (QString kind = optionValue(args, QStringLiteral("--refuse")); !kind.isEmpty();
         kind = optionValue(args, QStringLiteral("--refuse")))
        host.refuse(kind);
    HostServer server(host);
    const QString fault = optionValue(args, QStringLiteral("--fault"));
    if (!fault.isEmpty() && !server.setFault(fault))
        return fail(QStringLiteral("unknown fault %1").arg(fault));
    if (!args.isEmpty())
        return usage();

    const QString error = server.listen(socket);
    if (!error.isEmpty())
        return fail(error);

    // SIGINT and SIGTERM end the host between two requests.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot watch for signals"));
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);

    std::printf("qbhost: serving %s on %s\n", qPrintable(path), qPrintable(socket));
    std::fflush(stdout);
    return QCoreApplication::exec();
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
    if (args.size() < 2)
        return usage();
    const QString command = args.takeFirst();
    const QString path = args.takeFirst();
    try {
        if (command == u"init") {
            CompanyFile::create(path);
            return 0;
        }
        if (command != u"serve" && !QFileInfo::exists(path))
            return fail(QStringLiteral("no company file %1").arg(path));
        if (command == u"add-customer" && !args.isEmpty()) {
            const QString name = args.takeFirst();
            const QString email = optionValue(args, QStringLiteral("--email"));
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
    } catch (const std::exception& e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
    return usage();
}
