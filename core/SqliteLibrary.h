#pragma once

// The SQLite library, which the SQLite ODBC driver brings into this process when the contact
// database is a SQLite file.
namespace SqliteLibrary {
// Settles how SQLite works in this process, before its first use; true if it was in time.
// Each database connection here is used by one thread at a time, so SQLite need not lock the
// connection on each of its calls, nor count the memory it takes: the driver makes three or
// four such calls for every column of every record, and they cost the fill as much as the
// rest of the driver's work. A connection opened on another thread still works (SQLite then
// only trusts it to one thread at a time). Once SQLite has started, nothing changes.
bool settleBeforeFirstUse();
} // namespace SqliteLibrary
