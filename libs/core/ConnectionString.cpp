#include "core/ConnectionString.h"

#include "core/Failure.h"

#include <QRegularExpression>
#include <QStringList>
#include <utility>
#include <vector>

namespace {

using Pair = std::pair<QString, QString>;

// Splits "key=value;key=value" with values optionally in double or single quotes.
std::vector<Pair> parsePairs(const QString& text) {
    std::vector<Pair> pairs;
    int pos = 0;
    const int n = text.size();
    while (pos < n) {
        const int eq = text.indexOf(u'=', pos);
        if (eq < 0)
            break;
        const QString key = text.mid(pos, eq - pos).trimmed().toLower();
        pos = eq + 1;
        while (pos < n && text.at(pos).isSpace())
            ++pos;
        QString value;
        if (pos < n && (text.at(pos) == u'"' || text.at(pos) == u'\'')) {
            const QChar quote = text.at(pos);
            const int close = text.indexOf(quote, pos + 1);
            const int end = close < 0 ? n : close;
            value = text.mid(pos + 1, end - pos - 1);
            pos = close < 0 ? n : close + 1;
            const int semi = text.indexOf(u';', pos);
            pos = semi < 0 ? n : semi + 1;
        } else {
            const int semi = text.indexOf(u';', pos);
            const int end = semi < 0 ? n : semi;
            value = text.mid(pos, end - pos).trimmed();
            pos = semi < 0 ? n : semi + 1;
        }
        if (!key.isEmpty())
            pairs.emplace_back(key, value);
    }
    return pairs;
}

QString valueOf(const std::vector<Pair>& pairs, std::initializer_list<const char*> keys) {
    for (const char* key : keys)
        for (const Pair& pair : pairs)
            if (pair.first == QLatin1String(key))
                return pair.second;
    return QString();
}

// ODBC values holding ';' or braces need braces around them.
QString odbcValue(const QString& value) {
    if (value.contains(u';') || value.contains(u'{') || value.contains(u'}') ||
        value != value.trimmed())
        return QStringLiteral("{") +
               QString(value).replace(QStringLiteral("}"), QStringLiteral("}}")) +
               QStringLiteral("}");
    return value;
}

bool asksForWindowsSignIn(const std::vector<Pair>& pairs) {
    const QString integrated = valueOf(pairs, {"integrated security", "trusted_connection"});
    const QString v = integrated.trimmed().toLower();
    return v == u"sspi" || v == u"true" || v == u"yes";
}

} // namespace

bool ConnectionString::isSqlServerOleDb(const QString& connectionString) {
    static const QRegularExpression provider(
        QStringLiteral("^(sqloledb|sqlncli|msoledbsql)[0-9]*(\\.[0-9]+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString name = valueOf(parsePairs(connectionString), {"provider"}).trimmed();
    return provider.match(name).hasMatch();
}

QString ConnectionString::toOdbc(const QString& connectionString) {
    if (!isSqlServerOleDb(connectionString))
        return connectionString;

    const std::vector<Pair> pairs = parsePairs(connectionString);
    if (asksForWindowsSignIn(pairs))
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The connection string in config.txt asks for Windows "
                                     "sign-in (Integrated Security), which is not available "
                                     "here. Give a user name (User ID) and a password "
                                     "(Password) for the SQL Server instead."));

    QString server = valueOf(pairs, {"data source", "server", "address", "addr"}).trimmed();
    QString port;
    // "host,port" names a TCP port; "host\instance" an instance, which FreeTDS takes as is.
    const int comma = server.indexOf(u',');
    if (comma >= 0) {
        port = server.mid(comma + 1).trimmed();
        server = server.left(comma).trimmed();
    }
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server = server.mid(4);
    if (server == u"." || server.compare(u"(local)", Qt::CaseInsensitive) == 0)
        server = QStringLiteral("localhost");
    else if (server.startsWith(QLatin1String(".\\")) ||
             server.startsWith(QLatin1String("(local)\\"), Qt::CaseInsensitive))
        server = QStringLiteral("localhost") + server.mid(server.indexOf(u'\\'));

    QStringList parts{QStringLiteral("Driver=FreeTDS"),
                      QStringLiteral("Server=") + odbcValue(server)};
    if (!port.isEmpty())
        parts << QStringLiteral("Port=") + odbcValue(port);
    const QString database = valueOf(pairs, {"initial catalog", "database"});
    if (!database.isEmpty())
        parts << QStringLiteral("Database=") + odbcValue(database);
    parts << QStringLiteral("UID=") + odbcValue(valueOf(pairs, {"user id", "uid", "user"}));
    parts << QStringLiteral("PWD=") + odbcValue(valueOf(pairs, {"password", "pwd"}));
    return parts.join(u';') + u';';
}

QString ConnectionString::describe(const QString& odbcString) {
    QStringList named;
    for (const QString& part : odbcString.split(u';', Qt::SkipEmptyParts)) {
        const QString key = part.section(u'=', 0, 0).trimmed();
        if (key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("Server"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("DSN"), Qt::CaseInsensitive) == 0)
            named << key + u'=' + part.section(u'=', 1).trimmed();
    }
    return named.join(QStringLiteral("; "));
}

QString ConnectionString::place(const QString& odbcString) {
    QString server, database, dsn;
    for (const QString& part : odbcString.split(u';', Qt::SkipEmptyParts)) {
        const QString key = part.section(u'=', 0, 0).trimmed();
        const QString value = part.section(u'=', 1).trimmed();
        if (key.compare(QLatin1String("Server"), Qt::CaseInsensitive) == 0)
            server = value;
        else if (key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0)
            database = value;
        else if (key.compare(QLatin1String("DSN"), Qt::CaseInsensitive) == 0)
            dsn = value;
    }
    if (!server.isEmpty())
        return database.isEmpty() ? server : server + u'/' + database;
    return database.isEmpty() ? dsn : database;
}
