#pragma once

// The SQLite library, which the SQLite ODBC driver brings into this process when the contact
// database is a SQLite file.
namespace SqliteLibrary {
// Settles how SQLite works in this process, before its first use; true if it was in time.
// SQLite is told that no connection is used by two threads at once (the program uses each
// from one thread), so it need not lock the connection on each of its calls, and to keep no
// memory statistics: the driver makes three or four such calls for every column of every
// record, and the locking and counting took about a sixth of a fill. Once SQLite has started,
// this changes nothing.
bool settleBeforeFirstUse();
} // namespace SqliteLibrary
