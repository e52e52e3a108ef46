#pragma once

#include <QString>

// The user's own folder for sockets and locks: XDG_RUNTIME_DIR, or velloran-<uid> under the
// temporary folder when the session has none (created private). A folder that another
// account could have made or could change (a link, another owner, access for group or
// others) is never used: whoever controls it could answer for QuickBooks or hold the lock.
namespace RuntimeDir {

// Throws Failure (70, Permission denied) naming the folder, what is wrong with it and what to
// do, when the folder is not the user's own.
QString path();

// What is wrong with dir as a runtime folder; empty when it is a real folder of the user's
// own that nobody else can read or change.
QString problemWith(const QString& dir);

} // namespace RuntimeDir
