#pragma once

#include <QString>

// The host's and the bridge's messages on standard error. Under systemd (JOURNAL_STREAM set) each
// line carries the level prefix the journal reads ("<3>" error, "<4>" warning, "<6>" information)
// and no program name, which the journal adds; elsewhere it reads "program: text".
namespace Log {

enum Level { Error = 3, Warning = 4, Info = 6 };

void write(const char* program, Level level, const QString& text);

} // namespace Log
