// Posts 1,000 checked rows (100 customers, ten invoice dates each) to a real company-file host
// and prints
//   invoices=N seconds=S per_second=P own_share=F email=E requests_per_invoice=R
// then 200 of them through the Web Connector bridge and the Web Connector's part:
//   bridge_invoices_per_second=P invoices=N seconds=S email=marked requests_per_invoice=R
//   bridge_continue_ms median=M max=X tries=20
//   latency_run: invoices=300 latency_ms=250 email=marked seconds=S requests=R
// where own_share is the share of the run's wall time that Velloran itself spent on the
// processor (the rest is the host's work and the trips between the two), and R counts every
// request of the run: the company, the customers' look-up, the lease (taken and given back),
// and each batch's check and its adds (e-mail marks go in the add).
// The last line times the bridge's "100 Continue" to a POST that asks for it, as the Web
// Connector's every call does (it waits up to 350 ms for it).

#include "BenchSupport.h"

#include "core/GridColumns.h"
#include "grid/BillingGrid.h"
#include "posting/CustomerComponent.h"
#include "posting/InvoiceComponent.h"
#include "posting/InvoicePosting.h"
#include "posting/PostingJournal.h"
#include "posting/PostingRun.h"
#include "posting/RunLease.h"
#include "qbxml/RequestProcessor.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {
struct BenchHost : PostingHost {
    int box = PostingHost::Unchecked;
    QString listOrganisation() const override {
        return QStringLiteral("Kestlemere Chamber of Commerce");
    }
    int emailBoxValue() const override { return box; }
    bool confirm(const QString&, const QString&) override { return true; }
    void setBusy(bool) override {}
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1.0e6;
}

constexpr int Customers = 100;
// QuickBooks' own time per request behind the Web Connector, as integrators see it.
constexpr int LatencyMs = 250;

QString customerName(int index) {
    return QStringLiteral("Member %1 & Sons").arg(index, 3, 10, QLatin1Char('0'));
}

// Milliseconds from a POST's headers to the bridge's "100 Continue", over tries connections.
void timeContinue(const QString& url, int tries) {
    QList<double> ms;
    for (int i = 0; i < tries; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(QUrl(url).port()));
        if (!socket.waitForConnected(5000))
            return;
        QElapsedTimer clock;
        clock.start();
        socket.write("POST /qbwc HTTP/1.1\r\nHost: localhost\r\nContent-Length: 4\r\n"
                     "Expect: 100-continue\r\n\r\n");
        QByteArray got;
        while (!got.contains("\r\n\r\n") && socket.waitForReadyRead(5000))
            got += socket.readAll();
        ms << clock.nsecsElapsed() / 1.0e6;
        if (!got.startsWith("HTTP/1.1 100"))
            return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("bridge_continue_ms median=%.2f max=%.2f tries=%d\n", ms[ms.size() / 2], ms.last(),
                tries);
}

int qbhost(const QStringList& args) {
    return QProcess::execute(QDir(QCoreApplication::applicationDirPath()).filePath("qbhost"), args);
}
} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString usage = QStringLiteral("usage: bench_post [INVOICES]  (1000 unless given)\n");
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (first == u"--help" || first == u"-h") {
        std::fputs(qPrintable(usage), stdout);
        return 0;
    }
    bool counted = true;
    const int count = first.isEmpty() ? 1000 : first.toInt(&counted);
    if (!counted || count < 5 || argc > 2) {
        std::fputs(qPrintable(usage), stderr);
        return 2;
    }

    // Straight to the host without and with the e-mail mark, then through the Web Connector
    // bridge (qbbridge and qbhost webconnector) with it, on a fifth of the rows; last, a month
    // of 300 members each once, through a host as slow as QuickBooks behind the Web Connector.
    struct Setup {
        int box;
        bool bridged;
        int latencyMs;
        int customers;
        int rows;
    };
    for (const Setup& setup : {Setup{PostingHost::Unchecked, false, 0, Customers, count},
                               Setup{PostingHost::Checked, false, 0, Customers, count},
                               Setup{PostingHost::Checked, true, 0, Customers, count / 5},
                               Setup{PostingHost::Checked, false, LatencyMs, 300, 300}}) {
        const int box = setup.box;
        const bool bridged = setup.bridged;
        QTemporaryDir dir;
        const QString file = dir.filePath("company.qbw");
        const QString socket = dir.filePath("qb.sock");
        qbhost({"init", file});
        for (int c = 0; c < setup.customers; ++c)
            qbhost({"add-customer", file, customerName(c), "--email", "a@abbott.example"});
        qbhost({"add-item", file, "Membership Dues"});
        const QDir bin(QCoreApplication::applicationDirPath());
        QProcess host, bridge;
        QString bridgeUrl;
        if (bridged) {
            QFile password(dir.filePath("password"));
            password.open(QIODevice::WriteOnly);
            password.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            password.write("bench password\n");
            password.close();
            bridge.start(bin.filePath("qbbridge"),
                         {"serve", "--listen", "127.0.0.1:0", "--user", "bench", "--password-file",
                          password.fileName(), "--socket", socket});
            bridge.waitForReadyRead(10000);
            const QString url = QString::fromUtf8(bridge.readLine()).section(u' ', -1).trimmed();
            bridgeUrl = url;
            host.start(bin.filePath("qbhost"),
                       {"webconnector", file, "--url", url, "--user", "bench", "--password-file",
                        password.fileName(), "--every", "1"});
        } else {
            host.start(bin.filePath("qbhost"), {"serve", file, "--socket", socket, "--latency",
                                                QString::number(setup.latencyMs)});
            host.waitForReadyRead(10000);
        }
        const int rows = setup.rows;

        BillingGrid grid;
        grid.SetColumnCount(GridColumns::Count);
        grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
        for (int i = 0; i < rows; ++i)
            grid.AppendRow(QStringLiteral("True\t%1\tLucy\t%2.50\t1200\t%3/%4/2019\t"
                                          "Monthly Invoice\t%3/1/2027\t%3/15/2027")
                               .arg(customerName(i % setup.customers))
                               .arg(50 + i % 50)
                               .arg(1 + (i / setup.customers) % 10)
                               .arg(1 + i % 28));
        grid.SetFixedRows(1);

        RequestProcessor processor(socket);
        InvoiceComponent invoice;
        CustomerComponent customer;
        RunLease lease;
        BenchHost bench;
        PostingJournal journal;
        bench.box = box;
        const double cpuBefore = cpuSeconds();
        const PostingItems items{"Membership Dues", "Pledge"};
        const double ms = Bench::timeMs([&] {
            PostingRun run({bench, grid, processor, invoice, customer, lease, items, journal});
            QEventLoop loop;
            QObject::connect(&run, &PostingRun::finished, &loop, &QEventLoop::quit);
            if (run.start())
                loop.exec();
        });
        const double cpu = cpuSeconds() - cpuBefore;
        int posted = 0;
        for (int row = 1; row < grid.RowCount(); ++row)
            posted += grid.CellText(row, GridColumns::Result) == u"Successful";
        const double seconds = ms / 1000.0;
        const double requests = posted ? double(processor.requestsSent()) / posted : 0.0;
        if (setup.latencyMs > 0)
            std::printf("latency_run: invoices=%d latency_ms=%d email=marked seconds=%.1f "
                        "requests=%lld\n",
                        posted, setup.latencyMs, seconds, processor.requestsSent());
        else if (bridged)
            std::printf("bridge_invoices_per_second=%.0f invoices=%d seconds=%.2f email=marked "
                        "requests_per_invoice=%.2f\n",
                        posted / seconds, posted, seconds, requests);
        else
            std::printf("invoices=%d seconds=%.2f per_second=%.0f own_share=%.2f email=%s "
                        "requests_per_invoice=%.2f\n",
                        posted, seconds, posted / seconds, cpu / seconds,
                        box == PostingHost::Checked ? "marked" : "unmarked", requests);
        if (bridged)
            timeContinue(bridgeUrl, 20);
        std::fflush(stdout);
        for (QProcess* process : {&host, &bridge}) {
            process->terminate();
            process->waitForFinished(10000);
        }
    }
    return 0;
}
