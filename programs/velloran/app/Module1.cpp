#include "app/Module1.h"

#include "app/MessageBoxes.h"
#include "app/SingleInstance.h"
#include "core/ConfigReader.h"
#include "core/Failure.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <memory>

namespace {
struct State {
    DatabaseThread database;
    QString connectionString;
    QString chamberItem;
    QString foundationItem;
    std::unique_ptr<SingleInstance> instance;
    std::function<void()> endAction;
};

// Lives until the process ends and is never destroyed: the database registry it relies on is
// torn down before static objects would be, and the process releases the connection anyway.
State& state() {
    static State* s = new State;
    return *s;
}

void endProgram() {
    if (state().endAction) {
        state().endAction();
        return;
    }
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}
} // namespace

DatabaseThread& Module1::database() {
    return state().database;
}

DbConnection& Module1::dbConnection() {
    return state().database.connection();
}

const QString& Module1::dbConnectionString() {
    return state().connectionString;
}

const QString& Module1::chamberItemName() {
    return state().chamberItem;
}

const QString& Module1::foundationItemName() {
    return state().foundationItem;
}

QStringList Module1::configPlaces() {
    const QString name = QStringLiteral("velloran/config.txt");
    QStringList places{
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("config.txt"))};
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty())
        home = QDir::home().filePath(QStringLiteral(".config"));
    places << QDir(home).filePath(name);
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts))
        places << QDir(dir).filePath(name);
    return places;
}

QString Module1::configPath() {
    const QStringList places = configPlaces();
    for (const QString& place : places)
        if (QFileInfo(place).isFile())
            return place;
    throw Failure::fileNotFound(places.join(QStringLiteral("; ")));
}

void Module1::ReadConfig(const QString& path) {
    const QStringList items = ConfigReader::readItems(path, 7);
    state().connectionString = items.at(2);
    state().chamberItem = items.at(4);
    state().foundationItem = items.at(6);
}

void Module1::OpenConnection() {
    DatabaseThread& database = state().database;
    DbConnection& db = database.connection();
    db.setConnectionString(state().connectionString);
    db.setConnectionTimeout(OpenTimeoutSeconds);
    std::optional<Failure> failure;
    if (!database.runAndWait([](DbConnection& connection) { connection.open(); },
                             OpenTimeoutSeconds * 1000, &failure)) {
        const QString named = db.describe();
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("The contact database%1 could not be opened: it did not "
                                     "answer within %2 seconds.")
                          .arg(named.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(named))
                          .arg(OpenTimeoutSeconds));
    }
    if (failure)
        throw *failure;
    db.setCursorLocation(DbConnection::UseClient);
}

Module1::StartOutcome Module1::Main(const std::function<void()>& loadMainWindow,
                                    const QString& lockPath) {
    ReadConfig();
    OpenConnection();
    auto instance = std::make_unique<SingleInstance>(
        lockPath.isEmpty() ? SingleInstance::defaultLockPath() : lockPath);
    if (instance->earlierCopyRunning()) {
        instance->showEarlierCopy();
        MessageBoxes::show(QStringLiteral("This application is already running."),
                           QStringLiteral("Application Already Running"), MessageBoxes::OkOnly);
        return StartOutcome::EarlierCopyRunning;
    }
    state().instance = std::move(instance);
    loadMainWindow();
    return StartOutcome::Running;
}

void Module1::onLaterCopy(std::function<void()> shown) {
    if (state().instance)
        state().instance->onLaterCopy(std::move(shown));
}

void Module1::CloseAndEnd() {
    // A connection in the middle of a statement is left to the process's end.
    state().database.close();
    endProgram();
}

void Module1::setEndAction(std::function<void()> endAction) {
    state().endAction = std::move(endAction);
}
