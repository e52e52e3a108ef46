// Creates a SQLite contact database with the two reporting views that Velloran reads:
//   make_contacts FILE                          the demo contacts
//   make_contacts FILE --contacts N [--seed S]  N generated contacts, the same for the same S
// An existing FILE is replaced.

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <random>

namespace {

void fail(const QString& message) {
    std::fprintf(stderr, "make_contacts: %s\n", qPrintable(message));
    std::exit(1);
}

const char* const Usage = "usage: make_contacts FILE [--contacts N [--seed S]]\n";

// A wrong command line: the usage on standard error, exit 2.
void wrongUsage(const QString& message) {
    std::fprintf(stderr, "make_contacts: %s\n%s", qPrintable(message), Usage);
    std::exit(2);
}

QString resourceText(const QString& name) {
    QFile file(QStringLiteral(":/") + name);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("missing built-in script %1").arg(name));
    return QString::fromUtf8(file.readAll());
}

// Runs a script of statements separated by ";" at the ends of lines; "--" lines are comments.
void runScript(QSqlDatabase& db, const QString& script) {
    QString statement;
    const QStringList lines = script.split(u'\n');
    for (const QString& line : lines) {
        if (line.trimmed().startsWith(QLatin1String("--")))
            continue;
        statement += line + u'\n';
        if (line.trimmed().endsWith(u';')) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                fail(query.lastError().text() + QStringLiteral("\n") + statement.left(200));
            statement.clear();
        }
    }
}

void generate(QSqlDatabase& db, int contacts, unsigned seed) {
    static const char* const firstNames[] = {"Ada",  "Ben",  "Chloé", "Dev",   "Ema",  "Finn",
                                             "Gita", "Hugo", "Iris",  "Jonah", "Kira", "Luis",
                                             "Maya", "Nils", "Olu",   "Pia",   "Quin", "Rhea",
                                             "Sven", "Tara", "Ugo",   "Vik",   "Wen",  "Yara"};
    static const char* const lastNames[] = {"Abbott", "Baker",  "Castro", "Dunn",   "Evans",
                                            "Fox",    "Garcia", "Hale",   "Ivanov", "Jensen",
                                            "Khan",   "Lopez",  "Moreau", "Nash",   "Okafor",
                                            "Price",  "Quist",  "Reyes",  "Singh",  "Tanaka"};
    static const char* const trades[] = {"Bakery",  "Hardware", "Dental", "Legal",  "Florist",
                                         "Joinery", "Print",    "Garage", "Studio", "Café"};
    static const char* const frequencies[] = {"Monthly Invoice", "Quarterly", "Semi-Annual",
                                              "Annual"};
    static const char* const methods[] = {"Invoice", "Electronic Withdrawal"};

    std::mt19937 random(seed);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    auto date = [&]() {
        return QStringLiteral("%1-%2-%3")
            .arg(2005 + pick(20))
            .arg(1 + pick(12), 2, 10, QChar(u'0'))
            .arg(1 + pick(28), 2, 10, QChar(u'0'));
    };

    db.transaction();
    QSqlQuery contact(db);
    contact.prepare(QStringLiteral("INSERT INTO contact VALUES (?, ?, ?, ?, ?, ?)"));
    QSqlQuery custom(db);
    custom.prepare(QStringLiteral("INSERT INTO custom_table_0 VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int id = 1; id <= contacts; ++id) {
        const bool chamber = pick(2) == 0;
        const QString person = QStringLiteral("%1 %2 %3")
                                   .arg(QString::fromUtf8(firstNames[pick(24)]))
                                   .arg(QString::fromUtf8(lastNames[pick(20)]))
                                   .arg(id);
        const QString company = chamber || pick(4) == 0
                                    ? QStringLiteral("%1 %2 %3")
                                          .arg(QString::fromUtf8(lastNames[pick(20)]))
                                          .arg(QString::fromUtf8(trades[pick(10)]))
                                          .arg(id / 3)
                                    : QString();
        const double amount = 100.0 * (1 + pick(60));
        contact.addBindValue(id);
        contact.addBindValue(company.isEmpty() ? QVariant() : company);
        contact.addBindValue(person);
        contact.addBindValue(chamber ? QVariant(amount) : QVariant());
        contact.addBindValue(chamber ? QVariant(amount) : QVariant());
        contact.addBindValue(chamber ? QVariant(date()) : QVariant());
        if (!contact.exec())
            fail(contact.lastError().text());
        custom.addBindValue(id);
        custom.addBindValue(id);
        custom.addBindValue(chamber ? QVariant(QLatin1String(frequencies[pick(4)])) : QVariant());
        custom.addBindValue(chamber ? QVariant(QLatin1String(methods[pick(2)])) : QVariant());
        custom.addBindValue(chamber ? QVariant() : QVariant(date()));
        custom.addBindValue(chamber ? QVariant() : QVariant(QLatin1String(frequencies[pick(4)])));
        custom.addBindValue(chamber ? QVariant() : QVariant(QLatin1String(methods[pick(2)])));
        custom.addBindValue(chamber ? QVariant() : QVariant(amount));
        if (!custom.exec())
            fail(custom.lastError().text());
    }
    db.commit();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && (args.first() == u"--help" || args.first() == u"-h")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (args.isEmpty() || args.first().startsWith(QLatin1String("-")))
        wrongUsage(QStringLiteral("a file to write is needed"));
    const QString path = args.first();
    int contacts = -1;
    unsigned seed = 1;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--contacts" && i + 1 < args.size())
            contacts = args[++i].toInt();
        else if (args[i] == u"--seed" && i + 1 < args.size())
            seed = args[++i].toUInt();
        else
            wrongUsage(QStringLiteral("unknown argument %1").arg(args[i]));
    }

    QFile::remove(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(path);
        if (!db.open())
            fail(db.lastError().text());
        runScript(db, resourceText(QStringLiteral("contacts_schema.sql")));
        if (contacts < 0)
            runScript(db, resourceText(QStringLiteral("demo_contacts.sql")));
        else
            generate(db, contacts, seed);
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return 0;
}
