#pragma once

#include <QString>

class QLocalServer;

// The per-user socket a company-file host or the Web Connector bridge serves the program on.
namespace LocalEndpoint {

// Listens on path, refusing when another server answers there; a socket file left by a server
// that died is taken over. A folder made for it is private. Returns an error text, empty on
// success.
QString listen(QLocalServer& server, const QString& path);

// Ends the event loop on SIGINT and SIGTERM, between two events, so that what is in hand is
// finished first. False when the signals cannot be watched.
bool quitOnSignals();

} // namespace LocalEndpoint
