#pragma once

#include "core/DatabaseThread.h"
#include "core/DbConnection.h"

#include <QString>
#include <QStringList>
#include <functional>

// Start-up and the end of the program: the configuration, the one database connection and
// the previous-instance test. Everything here lives from start-up to the end of the process.
namespace Module1 {

// The contact database, opened and read on a thread of its own.
DatabaseThread& database();
// Its connection's settings.
DbConnection& dbConnection();
const QString& dbConnectionString();
const QString& chamberItemName();
const QString& foundationItemName();

// Where config.txt is looked for, in order: beside the executable, then
// $XDG_CONFIG_HOME/velloran/config.txt (~/.config by default), then velloran/config.txt in
// each folder of $XDG_CONFIG_DIRS (/etc/xdg by default), so that an installed program finds
// the user's or the office's settings.
QStringList configPlaces();
// The first place that holds a config.txt; throws "File not found" naming every place.
QString configPath();

// Reads the seven items of config.txt; items 3, 5 and 7 are kept.
void ReadConfig(const QString& path = configPath());

// Connection string, 10-second open time-out, open, then client-side cursors. The open is the
// database thread's: a driver that has not answered within the 10 seconds fails it here,
// naming the database, whatever the driver does with its own time-out.
void OpenConnection();
constexpr int OpenTimeoutSeconds = 10;

enum class StartOutcome { Running, EarlierCopyRunning };

// Reads the configuration, opens the connection, refuses to run beside an earlier copy, and
// otherwise calls loadMainWindow. Failures escape as Failure to the caller's report.
StartOutcome Main(const std::function<void()>& loadMainWindow, const QString& lockPath = QString());

// A later copy started: shown brings this copy's window forward.
void onLaterCopy(std::function<void()> shown);

// Closes the connection and ends the program.
void CloseAndEnd();

// How the program ends; tests replace it. The default closes every window and leaves the
// event loop.
void setEndAction(std::function<void()> endAction);

} // namespace Module1
