#include "qbbridge/BridgeSettings.h"

#include "qbbridge/QwcFile.h"
#include "service/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// A value that names a number of seconds, at least one.
std::optional<int> secondsOf(const QString& text) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    return ok && seconds >= 1 ? std::optional<int>(seconds) : std::nullopt;
}

QString pathFrom(const QString& folder, const QString& value) {
    if (value.startsWith(QStringLiteral("~/")))
        return QDir::home().filePath(value.mid(2));
    return QDir(folder).filePath(value);
}

// Checks a value of key, as given in a file or an option; the reason, or empty.
QString problemWith(const QString& key, const QString& value) {
    if (value.isEmpty())
        return QStringLiteral("%1 needs a value").arg(key);
    if ((key == u"wait" || key == u"every") && !secondsOf(value))
        return QStringLiteral("%1 takes a number of seconds, not \"%2\"").arg(key, value);
    if (key == u"listen" && !BridgeSettings::endpointOf(value))
        return QStringLiteral("listen takes ADDRESS:PORT, such as 127.0.0.1:8080, not \"%1\"")
            .arg(value);
    if (key == u"public-url") {
        QwcFile::Settings forUrl;
        forUrl.url = value;
        QwcFile qwc(forUrl);
        if (!qwc.check())
            return QStringLiteral("public-url: %1").arg(qwc.errorString());
    }
    return QString();
}

// Each setting: its key (the option's name without "--"), where it goes (a text or a number
// of seconds), and whether it names a file, taken from the settings file's folder.
struct Setting {
    const char* key;
    QString BridgeSettings::*text;
    bool path;
    int BridgeSettings::*seconds = nullptr;
};
constexpr Setting Settings[] = {
    {"listen", &BridgeSettings::listen, false},
    {"user", &BridgeSettings::user, false},
    {"password-file", &BridgeSettings::passwordFile, true},
    {"cert", &BridgeSettings::cert, true},
    {"key", &BridgeSettings::key, true},
    {"public-url", &BridgeSettings::publicUrl, false},
    {"socket", &BridgeSettings::socket, true},
    {"wait", nullptr, false, &BridgeSettings::waitSeconds},
    {"every", nullptr, false, &BridgeSettings::everySeconds},
};

const Setting* settingOf(const QString& key) {
    for (const Setting& setting : Settings)
        if (key == QLatin1String(setting.key))
            return &setting;
    return nullptr;
}

QString keyList() {
    QStringList keys;
    for (const Setting& setting : Settings)
        keys << QLatin1String(setting.key);
    return keys.join(QStringLiteral(", "));
}

void set(BridgeSettings& settings, const Setting& setting, const QString& value) {
    if (setting.text)
        settings.*setting.text = value;
    else
        settings.*setting.seconds = *secondsOf(value);
}
} // namespace

int BridgeSettings::waitFor() const {
    if (waitSeconds > 0)
        return waitSeconds;
    return everySeconds > 0 ? everySeconds + 30 : 30;
}

QString BridgeSettings::defaultPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::home().filePath(QStringLiteral(".config"));
    return QDir(config).filePath(QStringLiteral("velloran/qbbridge.conf"));
}

bool BridgeSettings::fail(const QString& reason) {
    m_errors = QStringList{reason};
    return false;
}

bool BridgeSettings::load(const QByteArray& text, const QString& fileName, const QString& folder) {
    BridgeSettings settings = *this;
    const QList<QByteArray> lines = text.split('\n');
    for (int number = 1; number <= lines.size(); ++number) {
        const QString line = QString::fromUtf8(lines[number - 1]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const auto failAt = [&](const QString& reason) {
            return fail(QStringLiteral("%1:%2: %3").arg(fileName).arg(number).arg(reason));
        };
        const int equals = line.indexOf(u'=');
        if (equals < 0)
            return failAt(QStringLiteral("a setting reads KEY = VALUE"));
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const Setting* setting = settingOf(name);
        if (!setting)
            return failAt(
                QStringLiteral("unknown setting \"%1\" (known: %2)").arg(name.left(40), keyList()));
        const QString reason = problemWith(name, value);
        if (!reason.isEmpty())
            return failAt(reason);
        set(settings, *setting, setting->path ? pathFrom(folder, value) : value);
    }
    *this = settings;
    m_errors.clear();
    return true;
}

bool BridgeSettings::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(
            QStringLiteral("cannot read the settings %1: %2").arg(path, file.errorString()));
    return load(file.readAll(), path, QFileInfo(path).absolutePath());
}

bool BridgeSettings::takeOptions(QStringList& args) {
    for (const Setting& setting : Settings) {
        const QString name = QLatin1String(setting.key);
        const QString option = QStringLiteral("--") + name;
        if (!args.contains(option))
            continue;
        const QString value = CommandLine::takeOption(args, option);
        const QString reason = problemWith(name, value);
        if (!reason.isEmpty())
            return fail(reason);
        set(*this, setting, value);
    }
    return true;
}

std::optional<BridgeSettings::Endpoint> BridgeSettings::endpointOf(const QString& listen) {
    const int colon = listen.lastIndexOf(u':');
    if (colon < 0)
        return std::nullopt;
    bool portOk = false;
    Endpoint endpoint;
    endpoint.port = listen.mid(colon + 1).toUShort(&portOk);
    endpoint.host = listen.left(colon);
    if (endpoint.host.startsWith(u'[') && endpoint.host.endsWith(u']'))
        endpoint.host = endpoint.host.mid(1, endpoint.host.size() - 2);
    endpoint.address =
        QHostAddress(endpoint.host == u"localhost" ? QStringLiteral("127.0.0.1") : endpoint.host);
    if (!portOk || endpoint.address.isNull())
        return std::nullopt;
    return endpoint;
}

bool BridgeSettings::check() {
    QStringList problems;
    if (listen.isEmpty())
        problems << QStringLiteral("no address to listen on (listen, --listen)");
    if (user.isEmpty())
        problems << QStringLiteral("no user name for the Web Connector (user, --user)");
    if (passwordFile.isEmpty())
        problems << QStringLiteral("no password file (password-file, --password-file)");
    if (cert.isEmpty() != key.isEmpty())
        problems << QStringLiteral("a certificate and its key go together (cert and key)");
    const auto endpoint = endpointOf(listen);
    // The Web Connector talks plain HTTP to localhost only; anywhere else the password would
    // cross the network readable.
    if (endpoint && !endpoint->address.isLoopback() && cert.isEmpty())
        problems << QStringLiteral("plain HTTP is only for a loopback address; to listen on %1 "
                                   "give --cert FILE --key FILE (the Web Connector needs HTTPS)")
                        .arg(endpoint->host);
    // A run pressed just after the Web Connector's call waits a whole period for the next.
    if (waitSeconds > 0 && everySeconds > 0 && waitSeconds < everySeconds + 10)
        problems << QStringLiteral("wait %1 is shorter than every %2 and 10 seconds: a run started "
                                   "just after the Web Connector's call would give up before "
                                   "the next; give wait %3 or more, or leave it out (every and "
                                   "30 seconds)")
                        .arg(waitSeconds)
                        .arg(everySeconds)
                        .arg(everySeconds + 10);
    m_errors = problems;
    return problems.isEmpty();
}
