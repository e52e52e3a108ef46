#pragma once

#include <QString>

// config.txt files written for the earlier Windows version name an OLE DB provider for SQL
// Server. Such a string is turned into the equivalent ODBC string for FreeTDS so that the
// file keeps working; every other string goes to the ODBC driver manager unchanged.
namespace ConnectionString {

bool isSqlServerOleDb(const QString& connectionString);

// Throws Failure when the OLE DB string asks for Windows sign-in, which is not available.
QString toOdbc(const QString& connectionString);

// Which database an ODBC string names, for messages: its Database and Server (or DSN) parts,
// never a user name or password.
QString describe(const QString& odbcString);
// Where the database is, in short: "SERVER/DATABASE", the database alone (a file), or the DSN.
QString place(const QString& odbcString);

} // namespace ConnectionString
