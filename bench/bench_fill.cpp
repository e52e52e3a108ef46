// Times a whole fill of the billing list (statement through ODBC, rules, appends, formatting,
// fitting) against the sqlite3 command-line program running the same statement on the same
// file, for generated databases of 10,000 and 100,000 contacts.
// Prints per size: contacts=N fill_ms=X sqlite3_ms=Y ratio=R bytes_per_row=B kept_bytes_per_row=K
// rows=L. B is the fill's peak memory (the whole process, the database engine's sorter and
// page cache included) per listed row; K is what the filled list itself keeps per row.

#include "BenchSupport.h"

#include "billing/BillingInputs.h"
#include "billing/BillingQuery.h"
#include "billing/LoadBillingList.h"
#include "core/DbConnection.h"
#include "grid/BillingGrid.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

namespace {
struct MarchInputs : BillingInputs {
    QString organisation() const override { return BillingQuery::ChamberName; }
    QString billingMethod() const override { return QStringLiteral("Invoice"); }
    QDate startDate() const override { return QDate(2027, 3, 1); }
    QDate endDate() const override { return QDate(2027, 3, 31); }
};

QString database(const QString& dir, int contacts) {
    const QString path = QDir(dir).filePath(QStringLiteral("contacts-%1.db").arg(contacts));
    if (!QFileInfo::exists(path)) {
        const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath("make_contacts");
        if (QProcess::execute(tool,
                              {path, "--contacts", QString::number(contacts), "--seed", "7"}) != 0)
            qFatal("make_contacts failed");
    }
    return path;
}
} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : QDir(QCoreApplication::applicationDirPath()).filePath("../bench-data");
    QDir().mkpath(dir);
    const int runs = 5;
    MarchInputs inputs;

    for (int contacts : {10000, 100000}) {
        const QString path = database(dir, contacts);
        DbConnection connection;
        connection.setConnectionString(
            QStringLiteral("Driver=SQLite3;Database=%1;NoCreat=1;StepAPI=1;").arg(path));
        connection.setConnectionTimeout(10);
        connection.open();
        connection.setCursorLocation(DbConnection::UseClient);

        BillingGrid grid;
        grid.resize(930, 425);
        grid.show();
        QApplication::processEvents();

        // The first fill of each size measures the peak memory too.
        const qint64 base = Bench::resetPeak();
        std::vector<double> fill;
        fill.push_back(Bench::timeMs([&] { LoadBillingList(inputs, grid, connection); }));
        const qint64 peak = Bench::peakSince(base);
        const qint64 allocatedFilled = Bench::allocatedBytes();
        const int listed = qMax(1, grid.RowCount() - 1);
        for (int run = 1; run < runs; ++run)
            fill.push_back(Bench::timeMs([&] { LoadBillingList(inputs, grid, connection); }));

        const QString statement =
            BillingQuery::statement(inputs.organisation(), inputs.billingMethod());
        std::vector<double> cli;
        for (int run = 0; run < runs; ++run)
            cli.push_back(Bench::timeMs([&] {
                QProcess sqlite;
                sqlite.setStandardOutputFile(QProcess::nullDevice());
                sqlite.start(QStringLiteral("sqlite3"), {path, statement});
                sqlite.waitForFinished(-1);
            }));
        // What the list itself keeps: the memory that emptying the grid gives back.
        grid.SetRowCount(0);
        const qint64 kept = allocatedFilled - Bench::allocatedBytes();
        const double f = Bench::median(fill), c = Bench::median(cli);
        std::printf("contacts=%d fill_ms=%.1f sqlite3_ms=%.1f ratio=%.2f bytes_per_row=%lld "
                    "kept_bytes_per_row=%lld rows=%d\n",
                    contacts, f, c, f / c, peak / listed, kept / listed, listed);
        std::fflush(stdout);
        grid.SetRowCount(0);
        connection.close();
    }
    return 0;
}
