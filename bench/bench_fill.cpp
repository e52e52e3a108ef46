// Times a whole fill of the billing list (statement through ODBC, rules, appends, formatting,
// fitting) against the sqlite3 command-line program running the same statement on the same
// file, for generated databases of 10,000 and 100,000 contacts.
// Prints per size: contacts=N fill_ms=X sqlite3_ms=Y ratio=R bytes_per_row=B kept_bytes_per_row=K
// rows=L. B is the fill's peak memory (the whole process, the database engine's sorter and
// page cache included) per listed row; K is what the filled list itself keeps per row. The
// fill is the window's: it names the contacts it passes over.
// Then, for the larger size, the parts of one fill:
// parts contacts=N fetch_ms=F rules_ms=R grid_ms=G sqlite3_ms=Y
// F: the statement through ODBC and every field read as the fill reads it, no rules, no grid;
// R: the rules and the passed-over naming on values already read; G: the rows' texts into the
// grid and its formatting. F + R + G comes near fill_ms; what is left is the loop itself.
//
// bench_fill --connection STRING times the fill of any contact database instead:
// connection=PLACE fill_ms=X client=NAME client_ms=Y ratio=R rows=L, the client being the
// database's own command-line program where one is known (sqlite3, mariadb), else none.

#include "BenchSupport.h"

#include "billing/BillingInputs.h"
#include "billing/BillingQuery.h"
#include "billing/LoadBillingList.h"
#include "billing/Organisation.h"
#include "billing/PassedOver.h"
#include "billing/Recordset.h"
#include "billing/ScheduleRules.h"
#include "core/ConnectionString.h"
#include "core/DbConnection.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cstdio>

namespace {
struct MarchInputs : BillingInputs {
    QString organisation() const override { return Organisations::name(Organisation::Chamber); }
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

// One record's fields as the fill reads them, and which of them it reads.
struct ReadRecord {
    QVariant frequency, anniversary, amount, company, contact;
    bool readAnniversary = false, due = false;
};

// Reads every record as the fill does: the frequency always, the anniversary for a known
// frequency, the rest for a due record. Which records are due is taken from `plan` (worked out
// beforehand by the rules) so that no rule runs while this is timed. With keep, the values
// are kept for the other parts; without it, each record's values go with the record, as in
// the fill.
std::vector<ReadRecord> fetchAll(const DbConnection& connection, const QString& statement,
                                 const std::vector<ReadRecord>* plan, bool keep = true) {
    const BillingQuery::FieldSet& fields =
        BillingQuery::fieldSetFor(Organisations::name(Organisation::Chamber));
    std::vector<ReadRecord> records;
    records.reserve(plan ? plan->size() : 100000);
    Recordset set;
    set.open(statement, connection,
             {fields.company, fields.contact, fields.frequency, fields.yearlyAmount,
              fields.anniversary});
    const int frequencyAt = set.position(fields.frequency),
              anniversaryAt = set.position(fields.anniversary),
              amountAt = set.position(fields.yearlyAmount),
              companyAt = set.position(fields.company), contactAt = set.position(fields.contact);
    for (size_t i = 0; !set.eof(); ++i, set.moveNext()) {
        ReadRecord r;
        r.frequency = set.field(frequencyAt);
        r.readAnniversary = plan ? (*plan)[i].readAnniversary : true;
        r.due = plan ? (*plan)[i].due : true;
        if (r.readAnniversary)
            r.anniversary = set.field(anniversaryAt);
        if (r.due) {
            r.amount = set.field(amountAt);
            r.company = set.field(companyAt);
            r.contact = set.field(contactAt);
        }
        if (keep)
            records.push_back(std::move(r));
    }
    return records;
}

// The rules on values already read, as the fill applies them; marks what the fill would read.
std::vector<BillingLine> judgeAll(std::vector<ReadRecord>& records, const BillingInputs& inputs) {
    std::vector<BillingLine> lines;
    PassedOver passedOver;
    const QDate start = inputs.startDate(), end = inputs.endDate();
    for (ReadRecord& r : records) {
        const auto frequency = ScheduleRules::frequencyOf(r.frequency);
        r.readAnniversary = frequency != ScheduleRules::Frequency::None;
        const ScheduleRules::NeverDue never = ScheduleRules::neverDue(frequency, r.anniversary);
        if (never == ScheduleRules::NeverDue::UnknownFrequency)
            passedOver.add(PassedOver::UnknownFrequency, r.company.toString(), r.frequency);
        else if (never == ScheduleRules::NeverDue::NoAnniversary)
            passedOver.add(PassedOver::NoAnniversary, r.company.toString(), r.anniversary);
        const auto line = ScheduleRules::judge(
            frequency, [&] { return r.amount; }, r.anniversary, start, end);
        r.due = bool(line);
        if (line)
            lines.push_back(*line);
    }
    return lines;
}

// The due rows' lines into the grid, then its formatting, as the fill ends.
void fillGrid(BillingGrid& grid, const std::vector<ReadRecord>& records,
              const std::vector<BillingLine>& lines) {
    grid.SetRowCount(0);
    grid.SetColumnCount(GridColumns::Count);
    grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
    size_t next = 0;
    for (const ReadRecord& r : records) {
        if (!r.due)
            continue;
        BillingLine line = lines[next++];
        line.company = r.company.toString();
        line.contact = r.contact.toString();
        grid.appendLine(std::move(line));
    }
    formatBillingList(grid);
}

// A key's value in an ODBC connection string; empty when it has none.
QString valueOf(const QString& connectionString, const QString& key) {
    for (const QString& part : connectionString.split(u';', Qt::SkipEmptyParts))
        if (part.section(u'=', 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.section(u'=', 1).trimmed();
    return QString();
}

// The database's own client running the statement, as a command; empty when none is known.
QStringList clientOf(const QString& connectionString, const QString& statement) {
    const QString driver = valueOf(connectionString, "Driver");
    if (driver.startsWith("SQLite", Qt::CaseInsensitive))
        return {"sqlite3", valueOf(connectionString, "Database"), statement};
    if (driver.startsWith("MariaDB", Qt::CaseInsensitive)) {
        QString user = valueOf(connectionString, "User");
        if (user.isEmpty())
            user = valueOf(connectionString, "UID");
        QString password = valueOf(connectionString, "Password");
        if (password.isEmpty())
            password = valueOf(connectionString, "PWD");
        QStringList command{"mariadb",
                            "--batch",
                            "--skip-column-names",
                            "-h",
                            valueOf(connectionString, "Server"),
                            "-u",
                            user,
                            "--password=" + password,
                            "-D",
                            valueOf(connectionString, "Database"),
                            "-e",
                            "SET SQL_MODE='MSSQL'; " + statement};
        const QString port = valueOf(connectionString, "Port");
        if (!port.isEmpty())
            command << "-P" << port;
        return command;
    }
    return {};
}

int benchConnection(const QString& connectionString) {
    const int runs = 11;
    MarchInputs inputs;
    PassedOver passedOver;
    DbConnection connection;
    connection.setConnectionString(connectionString);
    connection.setConnectionTimeout(10);
    connection.open();
    BillingGrid grid;
    const auto fillOnce = [&] { LoadBillingList(inputs, grid, connection, &passedOver); };
    std::vector<double> fill;
    while (int(fill.size()) < runs)
        fill.push_back(Bench::timeMs(fillOnce));
    const QStringList client = clientOf(
        connectionString, BillingQuery::statement(inputs.organisation(), inputs.billingMethod()));
    const bool known =
        !client.isEmpty() && !QStandardPaths::findExecutable(client.first()).isEmpty();
    std::vector<double> cli;
    while (known && int(cli.size()) < runs)
        cli.push_back(Bench::timeMs([&] {
            QProcess program;
            program.setStandardOutputFile(QProcess::nullDevice());
            program.start(client.first(), client.mid(1));
            program.waitForFinished(-1);
        }));
    const double f = Bench::median(fill), c = known ? Bench::median(cli) : 0.0;
    std::printf("connection=%s fill_ms=%.1f client=%s client_ms=%.1f ratio=%.2f rows=%d\n",
                qPrintable(ConnectionString::place(connectionString)), f,
                known ? qPrintable(client.first()) : "none", c, known ? f / c : 0.0,
                grid.RowCount() - 1);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains("--help") || args.contains("-h")) {
        std::fputs("usage: bench_fill [FOLDER]  (generated databases of 10,000 and 100,000\n"
                   "                             contacts, made in FOLDER, ../bench-data\n"
                   "                             beside the program unless given)\n"
                   "       bench_fill --connection STRING  (any contact database)\n",
                   stdout);
        return 0;
    }
    if (args.size() == 2 && args[0] == "--connection")
        return benchConnection(args[1]);
    if (args.size() > 1 || (args.size() == 1 && args[0].startsWith("-"))) {
        std::fputs("usage: bench_fill [FOLDER] | --connection STRING | --help\n", stderr);
        return 2;
    }
    const QString dir =
        !args.isEmpty() ? args[0]
                        : QDir(QCoreApplication::applicationDirPath()).filePath("../bench-data");
    QDir().mkpath(dir);
    const int runs = 11; // each figure the median of these
    MarchInputs inputs;
    PassedOver passedOver;

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

        const QString statement =
            BillingQuery::statement(inputs.organisation(), inputs.billingMethod());
        const auto fillOnce = [&] { LoadBillingList(inputs, grid, connection, &passedOver); };
        const auto sqliteOnce = [&] {
            QProcess sqlite;
            sqlite.setStandardOutputFile(QProcess::nullDevice());
            sqlite.start(QStringLiteral("sqlite3"), {path, statement});
            sqlite.waitForFinished(-1);
        };
        // The first fill of each size measures the peak memory too. The fills run one after
        // the other, as a clerk's Refreshes do, and then the sqlite3 program as many times: a
        // program started between two fills would leave the second one colder than any
        // clerk's.
        const qint64 base = Bench::resetPeak();
        std::vector<double> fill{Bench::timeMs(fillOnce)};
        const qint64 peak = Bench::peakSince(base);
        const qint64 allocatedFilled = Bench::allocatedBytes();
        const int listed = qMax(1, grid.RowCount() - 1);
        // What the list itself keeps: the memory that emptying the grid gives back, before
        // anything else runs.
        grid.SetRowCount(0);
        const qint64 kept = allocatedFilled - Bench::allocatedBytes();
        while (int(fill.size()) < runs)
            fill.push_back(Bench::timeMs(fillOnce));
        std::vector<double> cli;
        while (int(cli.size()) < runs)
            cli.push_back(Bench::timeMs(sqliteOnce));
        const double f = Bench::median(fill), c = Bench::median(cli);
        std::printf("contacts=%d fill_ms=%.1f sqlite3_ms=%.1f ratio=%.2f bytes_per_row=%lld "
                    "kept_bytes_per_row=%lld rows=%d\n",
                    contacts, f, c, f / c, peak / listed, kept / listed, listed);
        std::fflush(stdout);
        grid.SetRowCount(0);

        if (contacts == 100000) {
            // The parts: reads planned by one untimed pass, the values for the rules and the
            // list kept by another, then each part timed alone.
            std::vector<ReadRecord> plan = fetchAll(connection, statement, nullptr);
            const auto lines = judgeAll(plan, inputs);
            std::vector<double> fetch, rules, gridPart;
            for (int run = 0; run < runs; ++run) {
                fetch.push_back(
                    Bench::timeMs([&] { fetchAll(connection, statement, &plan, false); }));
                std::vector<ReadRecord> read = fetchAll(connection, statement, &plan);
                std::vector<BillingLine> judged;
                rules.push_back(Bench::timeMs([&] { judged = judgeAll(read, inputs); }));
                gridPart.push_back(Bench::timeMs([&] { fillGrid(grid, read, judged); }));
            }
            std::printf("parts contacts=%d fetch_ms=%.1f rules_ms=%.1f grid_ms=%.1f "
                        "sqlite3_ms=%.1f\n",
                        contacts, Bench::median(fetch), Bench::median(rules),
                        Bench::median(gridPart), c);
            std::fflush(stdout);
            grid.SetRowCount(0);
        }
        connection.close();
    }
    return 0;
}
